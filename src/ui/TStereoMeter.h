#pragma once

#include <QWidget>

#include <array>
#include <chrono>

// A stereo peak meter: one bar for each side on a 60 dB scale with marks in dB, a hold mark at
// the highest level of the last HoldTime, green, then yellow from -12 dB, red from -3 dB.
// Levels come from TPeakMeter (0 silence, 1 full scale). UI thread only.
class TStereoMeter : public QWidget {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds HoldTime{1500};
    static constexpr double RangeDB = 60;

    explicit TStereoMeter(QWidget* parent = nullptr);

    // Repaints only when something shown has changed.
    void SetLevels(double left, double right);
    double Level(int side) const { return FLevels[static_cast<size_t>(side)]; }
    double Hold(int side) const { return FHolds[static_cast<size_t>(side)].Level; }
    // Where `db` (-RangeDB to 0) is on the scale, 0 to 1.
    static double ScaleOf(double db) { return (db + RangeDB) / RangeDB; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct THold {
        double Level = 0;
        std::chrono::steady_clock::time_point Since;
    };
    void PaintBar(QPainter& painter, const QRect& bar, int side) const;
    void PaintScale(QPainter& painter, const QRect& scale) const;
    QRect Bars() const;

    std::array<double, 2> FLevels{};
    std::array<THold, 2> FHolds{};
    // The figures of the scale, a size smaller than the widget's font.
    QFont FScaleFont;
};
