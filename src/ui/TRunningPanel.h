#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

class QAction;
class QDoubleSpinBox;
class QVBoxLayout;
class TCueGridModel;
class TGoArea;
class TPlaybackRefresh;
class TRunningLine;
class TShowControl;

// The running cues beside the grid: the GO area, the fade time of the Fade buttons, and one
// line for each cue that plays, is paused, fades or waits, in the order they came in. Lines
// come and go with the show control's running list; times and meters move on the grid's
// playback refresh, so nothing runs while nothing plays. UI thread only.
class TRunningPanel : public QWidget {
    Q_OBJECT

public:
    static constexpr double DefaultFadeSeconds = 5;

    // Everything handed in outlives this object.
    TRunningPanel(TShowControl& show, QAction& go, TCueGridModel& grid, TPlaybackRefresh& refresh,
                  QWidget* parent = nullptr);

    TGoArea& GoArea() const { return *FGoArea; }
    // Checked while the panel is shown; checking it shows the panel as wide as it wants to be
    // beside the grid, in the splitter that holds both.
    QAction& Toggle() const { return *FToggle; }
    void ShowWhole();
    QDoubleSpinBox& FadeTime() const { return *FFadeTime; }
    const std::vector<TRunningLine*>& Lines() const { return FLines; }
    TRunningLine* LineOf(quint64 identity) const;

    // Wide enough for a line's buttons and level beside each other.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The level control of a line moved: the playback of that cue only, in the cue's dB scale.
    void LiveLevelChanged(quint64 identity, int db);
    // Keep on a line: its level is to become the cue's.
    void KeepLevelRequested(quint64 identity);

protected:
    void showEvent(QShowEvent* event) override;

private:
    TRunningLine* MakeLine(quint64 identity);
    void FollowRunning();
    void ShowLines();
    void ModelChanged(int firstColumn, int lastColumn);

    TShowControl& FShow;
    TCueGridModel& FGrid;
    TPlaybackRefresh& FRefresh;
    TGoArea* FGoArea;
    QDoubleSpinBox* FFadeTime;
    QAction* FToggle;
    QVBoxLayout* FLinesLayout;
    QWidget* FEmpty;
    std::vector<TRunningLine*> FLines;
};
