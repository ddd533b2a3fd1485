#include "TCueGridDelegate.h"

#include "TCueGridModel.h"
#include "TCueSpinBox.h"

#include <QDoubleSpinBox>
#include <QLocale>

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

// Seconds to a tenth, as the cell shows them.
QWidget* FadeEditor(QWidget* parent) {
    auto* editor = new QDoubleSpinBox(parent);
    editor->setFrame(false);
    editor->setLocale(QLocale::c());
    editor->setDecimals(1);
    editor->setRange(0.0, TCue::MaxFade / 10.0);
    editor->setSingleStep(0.1);
    editor->setSuffix(QStringLiteral(" s"));
    editor->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return editor;
}

} // namespace

QWidget* TCueGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    if (!CanEdit(index))
        return nullptr;
    if (index.column() == ccFadeIn || index.column() == ccFadeOut)
        return FadeEditor(parent);
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
