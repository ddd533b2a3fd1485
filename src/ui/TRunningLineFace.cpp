#include "TRunningLineFace.h"

#include <QPainter>

namespace {

constexpr int BarHeight = 5;
constexpr int Spacing = 2;

} // namespace

TRunningLineFace::TRunningLineFace(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont TRunningLineFace::LargeFont() const {
    QFont large = font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    return large;
}

QFont TRunningLineFace::SmallFont() const {
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    return small;
}

QSize TRunningLineFace::sizeHint() const {
    return {260, minimumSizeHint().height()};
}

QSize TRunningLineFace::minimumSizeHint() const {
    const int height = fontMetrics().height() + QFontMetrics(SmallFont()).height() +
                       QFontMetrics(LargeFont()).height() + BarHeight + 3 * Spacing;
    return {160, height};
}

void TRunningLineFace::Show(const TRunningLineData& shown) {
    if (shown == FData)
        return;
    FData = shown;
    update();
}

void TRunningLineFace::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    const int width = this->width();
    int y = 0;
    QFont title = font();
    title.setBold(true);
    const QFontMetrics titleMetrics(title);
    const int stateWidth = fontMetrics().horizontalAdvance(FData.StateText);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(QRect(width - stateWidth, y, stateWidth, titleMetrics.height()),
                     Qt::AlignRight | Qt::AlignVCenter, FData.StateText);
    painter.setFont(title);
    painter.drawText(QRect(0, y, width - stateWidth - 8, titleMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(FData.Title, Qt::ElideRight, width - stateWidth - 8));
    y += titleMetrics.height();
    const QFont small = SmallFont();
    const QFontMetrics smallMetrics(small);
    painter.setFont(small);
    painter.setPen(colours.color(QPalette::PlaceholderText));
    painter.drawText(QRect(0, y, width, smallMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     smallMetrics.elidedText(FData.Output, Qt::ElideRight, width));
    y += smallMetrics.height() + Spacing;
    const QFont large = LargeFont();
    const int largeHeight = QFontMetrics(large).height();
    painter.setFont(large);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(QRect(0, y, width / 2, largeHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     FData.Elapsed);
    painter.drawText(QRect(width / 2, y, width - width / 2, largeHeight),
                     Qt::AlignRight | Qt::AlignVCenter, FData.Remaining);
    y += largeHeight + Spacing;
    const QRect bar(0, y, width, BarHeight);
    painter.fillRect(bar, colours.color(QPalette::Base));
    if (FData.Done)
        painter.fillRect(QRect(0, y, static_cast<int>(*FData.Done * width), BarHeight),
                         colours.color(QPalette::Highlight));
}
