#pragma once

#include "TRunningLineData.h"

#include <QWidget>

// The painted part of a line of the running cues: the cue's number and description, what it
// does, its output, the time played and the time left in large figures, and a progress bar.
// Colours are the palette's, so that it reads on dark desktops too. UI thread only.
class TRunningLineFace : public QWidget {
    Q_OBJECT

public:
    explicit TRunningLineFace(QWidget* parent = nullptr);

    // Repaints only when something shown has changed.
    void Show(const TRunningLineData& shown);
    const TRunningLineData& Shown() const { return FData; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont LargeFont() const;
    QFont SmallFont() const;

    TRunningLineData FData;
};
