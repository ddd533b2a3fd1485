#include "TCueRowHeader.h"

namespace {
constexpr int RowHeight = 22;
constexpr int MinimumWidth = 40;
} // namespace

TCueRowHeader::TCueRowHeader(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    setSectionResizeMode(QHeaderView::Fixed);
    setDefaultSectionSize(RowHeight);
    setHighlightSections(false);
    setSectionsClickable(true);
    setSectionsMovable(true);
}

QSize TCueRowHeader::sizeHint() const {
    QSize hint(MinimumWidth, defaultSectionSize());
    if (count() > 0) {
        hint = hint.expandedTo(sectionSizeFromContents(logicalIndex(0)));
        hint = hint.expandedTo(sectionSizeFromContents(logicalIndex(count() - 1)));
    }
    return hint;
}
