#pragma once

#include "TRunningLineData.h"

#include <QFrame>

#include <cstdint>

class QLabel;
class QSlider;
class QToolButton;
class TRunningLineFace;
class TStereoMeter;

// One line of the running cues: the painted face, the stereo meter, the buttons pause/resume,
// stop and fade out, and the cue's live level with Keep. None of them takes the keyboard focus,
// so that Space and the other keys stay with the grid. UI thread only.
class TRunningLine : public QFrame {
    Q_OBJECT

public:
    // `volumeDB`: the cue's level when the line is made, where the level control starts.
    TRunningLine(quint64 identity, int32_t volumeDB, QWidget* parent = nullptr);

    quint64 Identity() const { return FIdentity; }
    void Show(const TRunningLineData& shown, double left, double right);
    const TRunningLineData& Shown() const;
    const TStereoMeter& Meter() const { return *FMeter; }

Q_SIGNALS:
    void PauseClicked(quint64 identity);
    void StopClicked(quint64 identity);
    void FadeClicked(quint64 identity);
    // The operator moved the level of this playback, in the cue's dB scale.
    void LiveLevelChanged(quint64 identity, int db);
    // The operator asked for the level of this playback to become the cue's.
    void KeepLevelRequested(quint64 identity);

private:
    QToolButton* Button(const QString& name, const QString& text, const QString& tip,
                        void (TRunningLine::*clicked)(quint64));
    void ShowLevel(int db);

    const quint64 FIdentity;
    TRunningLineFace* FFace;
    TStereoMeter* FMeter;
    QToolButton* FPause;
    QSlider* FLevel;
    QLabel* FLevelText;
    QToolButton* FKeep;
};
