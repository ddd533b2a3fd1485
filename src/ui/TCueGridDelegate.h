#pragma once

#include <QStyledItemDelegate>

// The in-place editors of grSounds: integer spin editors for the numeric columns, a drop-down of
// the outputs, a text editor for the description; and the Time cell's progress bar and level
// meter. Asks the model's edit permission again when an editor would open, so a
// cue started after its cell became current is not edited.
class TCueGridDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    // A file name that does not fit keeps its end, the file's own name; other texts their start.
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};
