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

    // Repaints only what has changed: mostly the times and the bar.
    void Show(const TRunningLineData& shown);
    const TRunningLineData& Shown() const { return FData; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void TakeFonts();
    // The times and the bar, below the title and the output.
    QRect Times() const;
    void PaintHeading(QPainter& painter) const;
    void PaintTimes(QPainter& painter, const QRect& times) const;

    TRunningLineData FData;
    QFont FTitleFont, FSmallFont, FLargeFont;
};
