#include "TStereoMeter.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <iterator>

namespace {

constexpr int BarHeight = 6;
constexpr int Gap = 1;
constexpr double MarksDB[] = {-60, -40, -20, -12, -6, -3, 0};
const QColor Green(40, 190, 60);
const QColor Yellow(235, 200, 30);
const QColor Red(230, 40, 30);

QFont ScaleFontOf(QFont font) {
    font.setPointSizeF(font.pointSizeF() * 0.75);
    return font;
}

} // namespace

TStereoMeter::TStereoMeter(QWidget* parent) : QWidget(parent), FScaleFont(ScaleFontOf(font())) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setToolTip(tr("Peak level of the left and right side, in dB"));
}

void TStereoMeter::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        FScaleFont = ScaleFontOf(font());
}

QRect TStereoMeter::Bars() const {
    return {0, 0, width(), 2 * BarHeight + Gap};
}

QSize TStereoMeter::sizeHint() const {
    return {200, minimumSizeHint().height()};
}

QSize TStereoMeter::minimumSizeHint() const {
    return {80, 2 * BarHeight + Gap + QFontMetrics(FScaleFont).height() + 2};
}

void TStereoMeter::SetLevels(double left, double right) {
    const auto now = std::chrono::steady_clock::now();
    bool changed = false;
    const std::array<double, 2> levels{left, right};
    for (size_t side = 0; side < 2; ++side) {
        THold& hold = FHolds[side];
        const double before = hold.Level;
        if (levels[side] >= hold.Level || now - hold.Since > HoldTime)
            hold = {levels[side], now};
        changed = changed || hold.Level != before || levels[side] != FLevels[side];
        FLevels[side] = levels[side];
    }
    if (changed)
        update(Bars());
}

// A change of level repaints the bars only; the scale is drawn when its part is exposed.
void TStereoMeter::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect bars = Bars();
    painter.fillRect(bars, palette().color(QPalette::Base));
    for (int side = 0; side < 2; ++side)
        PaintBar(painter, QRect(0, side * (BarHeight + Gap), bars.width(), BarHeight), side);
    const QRect scale(0, bars.bottom() + 1, width(), height() - bars.height());
    if (event->rect().intersects(scale))
        PaintScale(painter, scale);
}

// Green, yellow and red each fill their part of the scale as far as the level reaches.
void TStereoMeter::PaintBar(QPainter& painter, const QRect& bar, int side) const {
    const auto at = [&](double scale) {
        return bar.left() + static_cast<int>(std::clamp(scale, 0.0, 1.0) * bar.width());
    };
    const int level = at(Level(side));
    const struct {
        double From, To;
        QColor Colour;
    } zones[] = {
        {0, ScaleOf(-12), Green}, {ScaleOf(-12), ScaleOf(-3), Yellow}, {ScaleOf(-3), 1, Red}};
    for (const auto& zone : zones) {
        const int from = at(zone.From), to = std::min(at(zone.To), level);
        if (to > from)
            painter.fillRect(QRect(from, bar.top(), to - from, bar.height()), zone.Colour);
    }
    if (Hold(side) > 0) {
        const int hold = std::min(at(Hold(side)), bar.right() - 1);
        painter.fillRect(QRect(hold, bar.top(), 2, bar.height()),
                         Hold(side) >= ScaleOf(-3) ? Red : palette().color(QPalette::WindowText));
    }
}

// From full scale down, so that 0 always has its figure; a figure that would touch the one to
// its right is left out, its tick stays.
void TStereoMeter::PaintScale(QPainter& painter, const QRect& scale) const {
    painter.setFont(FScaleFont);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetrics metrics(FScaleFont);
    int free = scale.right() + 3;
    for (auto mark = std::rbegin(MarksDB); mark != std::rend(MarksDB); ++mark) {
        const int x = scale.left() + static_cast<int>(ScaleOf(*mark) * (scale.width() - 1));
        painter.drawLine(x, scale.top(), x, scale.top() + 2);
        const QString text = QString::number(*mark);
        const int textWidth = metrics.horizontalAdvance(text);
        const int left = std::clamp(x - textWidth / 2, scale.left(), scale.right() - textWidth);
        if (left + textWidth + 2 > free)
            continue;
        painter.drawText(QRect(left, scale.top() + 2, textWidth, scale.height() - 2),
                         Qt::AlignHCenter | Qt::AlignTop, text);
        free = left;
    }
}
