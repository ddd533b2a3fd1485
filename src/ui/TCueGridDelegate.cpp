#include "TCueGridDelegate.h"

#include "TCueCellText.h"
#include "TCueGridModel.h"
#include "TCueSpinBox.h"
#include "TOutputNames.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLocale>
#include <QPainter>

#include <algorithm>
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
    default:
        return std::nullopt;
    }
}

const TCueGridModel* ModelOf(const QModelIndex& index) {
    return qobject_cast<const TCueGridModel*>(index.model());
}

bool CanEdit(const QModelIndex& index) {
    const TCueGridModel* model = ModelOf(index);
    return model && model->grSoundsCanEditCell(TCueGridModel::NumberOf(index), index.column());
}

// Seconds to a tenth, as the cell shows them, up to `most` tenths.
QWidget* SecondsEditor(QWidget* parent, int32_t most) {
    auto* editor = new QDoubleSpinBox(parent);
    editor->setFrame(false);
    editor->setLocale(QLocale::c());
    editor->setDecimals(1);
    editor->setRange(0.0, most / 10.0);
    editor->setSingleStep(0.1);
    editor->setSuffix(QStringLiteral(" s"));
    editor->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    return editor;
}

// Height of the level meter along the bottom of the Time cell.
constexpr int MeterHeight = 3;
constexpr int StandbyEdge = 2;

// The standby row: tinted in the highlight colour, edged above and below, so the cue that GO
// starts next is plain to see across every column.
void PaintStandby(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) {
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!view || view->currentIndex().row() != index.row())
        return;
    QColor tint = option.palette.highlight().color();
    tint.setAlpha(80);
    painter->fillRect(option.rect, tint);
    const QRect& cell = option.rect;
    painter->fillRect(cell.left(), cell.top(), cell.width(), StandbyEdge,
                      option.palette.highlight());
    painter->fillRect(cell.left(), cell.bottom() - StandbyEdge + 1, cell.width(), StandbyEdge,
                      option.palette.highlight());
}

QColor MeterColour(double level) {
    // Green, then yellow from -12 dB, red from -3 dB on the meter's 60 dB scale.
    if (level >= 57.0 / 60)
        return QColor(220, 40, 30);
    if (level >= 48.0 / 60)
        return QColor(230, 190, 0);
    return QColor(40, 170, 60);
}

} // namespace

QWidget* TCueGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    if (!CanEdit(index))
        return nullptr;
    if (index.column() == ccFadeIn || index.column() == ccFadeOut)
        return SecondsEditor(parent, TCue::MaxFade);
    if (index.column() == ccPreWait || index.column() == ccPostWait)
        return SecondsEditor(parent, TCue::MaxWait);
    if (index.column() == ccContinue) {
        auto* editor = new QComboBox(parent);
        const QStringList choices = TCueCellText::ContinueChoices();
        for (qsizetype i = 0; i < choices.size(); ++i)
            editor->addItem(choices[i], static_cast<int>(i));
        return editor;
    }
    if (index.column() == ccOutput) {
        auto* editor = new QComboBox(parent);
        const TCue* cue = ModelOf(index)->CueOfRow(TCueGridModel::NumberOf(index));
        for (const auto& [number, text] : ModelOf(index)->Outputs().Choices(cue->AudioChannel()))
            editor->addItem(text, number);
        return editor;
    }
    const std::optional<std::pair<int, int>> bounds = grSoundsGetEditorType(index.column());
    if (!bounds)
        return QStyledItemDelegate::createEditor(parent, option, index);
    auto* editor = new TCueSpinBox(parent);
    editor->setRange(bounds->first, bounds->second);
    return editor;
}

void TCueGridDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->textElideMode = index.column() == ccFileName ? Qt::ElideLeft : Qt::ElideRight;
}

bool TCueGridDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    if (index.column() == ccLoop && !CanEdit(index))
        return false;
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

void TCueGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* choices = qobject_cast<QComboBox*>(editor)) {
        choices->setCurrentIndex(choices->findData(index.data(Qt::EditRole).toInt()));
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void TCueGridDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                    const QModelIndex& index) const {
    if (auto* choices = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, QString::number(choices->currentData().toInt()));
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
}

// The standby row marked; the Time cell of a playing cue: how far it has got shaded behind the
// text, its level as a thin bar along the bottom.
void TCueGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    PaintStandby(painter, option, index);
    const QVariant progress = index.data(TCueGridModel::ProgressRole);
    const QVariant level = index.data(TCueGridModel::LevelRole);
    if (index.column() == ccTime && progress.isValid()) {
        QRect done = option.rect.adjusted(1, 1, -1, -1);
        done.setWidth(static_cast<int>(done.width() * std::clamp(progress.toDouble(), 0.0, 1.0)));
        QColor shade = option.palette.highlight().color();
        shade.setAlpha(70);
        painter->fillRect(done, shade);
    }
    QStyledItemDelegate::paint(painter, option, index);
    if (index.column() == ccTime && level.isValid()) {
        const double value = std::clamp(level.toDouble(), 0.0, 1.0);
        QRect bar = option.rect.adjusted(1, 0, -1, -1);
        bar.setTop(bar.bottom() - MeterHeight + 1);
        bar.setWidth(static_cast<int>(bar.width() * value));
        painter->fillRect(bar, MeterColour(value));
    }
}
