#pragma once

#include "TPlaybackSettings.h"

#include <QObject>

#include <cstdint>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QSlider;
class QWidget;
class TCue;
class TMainActionsHost;

// The levels of the show in the window: the master level (a slider with its figure, in the
// status area), the true-decibel choice (a check item of a menu), and the live level and its
// Keep for one playing cue, which the running cues name by identity. Every change goes to the
// show at once and into the settings, which are then saved. UI thread only.
class TLevelControls : public QObject {
    Q_OBJECT

public:
    // `host` outlives this object, a child of `window`; `settings` gives the show's playback
    // settings while there is a show, else null; `changed` is called after each change of them.
    TLevelControls(TMainActionsHost& host, std::function<TPlaybackSettings*()> settings,
                   std::function<void()> changed, QWidget& window);

    // The master level control, for the window to place; not focusable, so that the show's
    // keys stay with the window.
    QWidget* MasterControl() const { return FMaster; }
    QSlider* MasterSlider() const { return FSlider; }
    QAction* actTrueDecibels = nullptr;

    // Adds the check item for true decibels to `menu`.
    void AddTo(QMenu& menu);
    // Gives the show the levels and the panic time of the settings, and shows them.
    void LoadSettings();

public Q_SLOTS:
    // The playback of the cue with that identity plays at `db`; its stored level is untouched.
    // A cue that is not in the list, or does not play, is left alone.
    void SetLiveLevel(quint64 identity, int db);
    // Stores the live level of that cue as its level, as an edit that can be undone.
    void KeepLevel(quint64 identity);

private:
    void MasterMoved(int db);
    void TrueDecibelsToggled(bool on);
    void ApplyLevels(const TLevels& levels);
    void ShowMaster(int32_t db);
    TCue* CueOf(quint64 identity) const;

    TMainActionsHost& FHost;
    std::function<TPlaybackSettings*()> FSettings;
    std::function<void()> FChanged;
    QWidget* FMaster = nullptr;
    QSlider* FSlider = nullptr;
    QLabel* FFigure = nullptr;
};
