#include "TRunningLineFace.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace {

constexpr int BarHeight = 5;
constexpr int Spacing = 2;

QFont Scaled(QFont font, double factor, bool bold) {
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    return font;
}

} // namespace

TRunningLineFace::TRunningLineFace(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    TakeFonts();
}

void TRunningLineFace::TakeFonts() {
    FTitleFont = Scaled(font(), 1, true);
    FSmallFont = Scaled(font(), 0.85, false);
    FLargeFont = Scaled(font(), 2, true);
}

void TRunningLineFace::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        TakeFonts();
        updateGeometry();
    }
}

QSize TRunningLineFace::sizeHint() const {
    return {260, minimumSizeHint().height()};
}

QSize TRunningLineFace::minimumSizeHint() const {
    const int height = QFontMetrics(FTitleFont).height() + QFontMetrics(FSmallFont).height() +
                       QFontMetrics(FLargeFont).height() + BarHeight + 3 * Spacing;
    return {160, height};
}

QRect TRunningLineFace::Times() const {
    const int top = QFontMetrics(FTitleFont).height() + QFontMetrics(FSmallFont).height() + Spacing;
    return {0, top, width(), height() - top};
}

void TRunningLineFace::Show(const TRunningLineData& shown) {
    if (shown == FData)
        return;
    const bool heading = shown.Title != FData.Title || shown.Output != FData.Output ||
                         shown.StateText != FData.StateText;
    FData = shown;
    if (heading)
        update();
    else
        update(Times());
}

void TRunningLineFace::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect times = Times();
    if (event->rect().top() < times.top())
        PaintHeading(painter);
    PaintTimes(painter, times);
}

void TRunningLineFace::PaintHeading(QPainter& painter) const {
    const QPalette& colours = palette();
    const QFontMetrics titleMetrics(FTitleFont);
    const int stateWidth = fontMetrics().horizontalAdvance(FData.StateText);
    const int titleWidth = width() - stateWidth - 8;
    painter.setPen(colours.color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(QRect(width() - stateWidth, 0, stateWidth, titleMetrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, FData.StateText);
    painter.setFont(FTitleFont);
    painter.drawText(QRect(0, 0, titleWidth, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(FData.Title, Qt::ElideRight, titleWidth));
    const QFontMetrics smallMetrics(FSmallFont);
    painter.setFont(FSmallFont);
    painter.setPen(colours.color(QPalette::PlaceholderText));
    painter.drawText(QRect(0, titleMetrics.height(), width(), smallMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     smallMetrics.elidedText(FData.Output, Qt::ElideRight, width()));
}

void TRunningLineFace::PaintTimes(QPainter& painter, const QRect& times) const {
    const QPalette& colours = palette();
    const int largeHeight = QFontMetrics(FLargeFont).height();
    const int half = times.width() / 2;
    painter.setFont(FLargeFont);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(0, times.top(), half, largeHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     FData.Elapsed);
    painter.drawText(QRect(half, times.top(), times.width() - half, largeHeight),
                     Qt::AlignRight | Qt::AlignVCenter, FData.Remaining);
    const int y = times.top() + largeHeight + Spacing;
    painter.fillRect(QRect(0, y, times.width(), BarHeight), colours.color(QPalette::Base));
    if (FData.Done)
        painter.fillRect(QRect(0, y, static_cast<int>(*FData.Done * times.width()), BarHeight),
                         colours.color(QPalette::Highlight));
}
