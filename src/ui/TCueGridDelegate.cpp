#include "TCueGridDelegate.h"

#include "TCueGridModel.h"
#include "TCueSpinBox.h"

#include <optional>
#include <utility>

namespace {

// The bounds of a column's spin editor; none for the text editor.
std::optional<std::pair<int, int>> grSoundsGetEditorType(int col) {
    switch (col) {
    case ccVolume:
        return std::pair(-60, 0);
    case ccPan:
        return std::pair(-100, 100);
    case ccPitch:
        return std::pair(75, 125);
    case ccOutput:
        return std::pair(1, 4);
    default:
        return std::nullopt;
    }
}

bool CanEdit(const QModelIndex& index) {
    const auto* model = qobject_cast<const TCueGridModel*>(index.model());
    return model && model->grSoundsCanEditCell(index.row() + 1, index.column());
}

} // namespace

QWidget* TCueGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    if (!CanEdit(index))
        return nullptr;
    const std::optional<std::pair<int, int>> bounds = grSoundsGetEditorType(index.column());
    if (!bounds)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* editor = new TCueSpinBox(parent);
    editor->setRange(bounds->first, bounds->second);
    return editor;
}

bool TCueGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (index.column() == ccLoop && !CanEdit(index))
        return false;
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}
