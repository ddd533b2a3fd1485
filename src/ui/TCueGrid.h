#pragma once

#include "TCueGridModel.h"

#include <QTableView>
#include <QTimer>

#include <cstdint>

class TImageList;
class TPlaybackRefresh;

// grSounds: the cue grid of the main window. Shows the cue list through TCueGridModel; the row
// header holds the state picture and the number and drags rows to another place. UI thread only.
class TCueGrid : public QTableView {
    Q_OBJECT

public:
    TCueGrid(TCueGridModel::TCueListSource cues, const TImageList& images,
             QWidget* parent = nullptr);

    TCueGridModel* Model() const { return FModel; }
    TPlaybackRefresh* PlaybackRefresh() const { return FRefresh; }

    // The grid row number of the current cell; the grid always has one once it is filled.
    TCueNumber CurrentRow() const;
    // Row count and contents follow the list; the current cell is kept, or moves up to the new
    // last row when its row has gone.
    void RefreshGrid();
    // Typing never moves the current cell to a row whose text matches.
    void keyboardSearch(const QString&) override {}
    // The text of the cells and headers at `percent` of its normal size, and the rows and
    // columns with it.
    void SetTextScale(int percent);
    // Whether a cell's editor is open.
    bool Editing() const { return state() == EditingState; }
    // What the grid says over its empty rows when the show has no cue: how to add some; empty
    // once it has one.
    QString EmptyShowHint() const;

Q_SIGNALS:
    // The current cell moved to another row.
    void SelectCell(int32_t row);
    // A row was dragged from grid row `from` to grid row `to`; the rows show the old order until
    // the list has been changed and the grid refreshed.
    void RowMoved(int32_t from, int32_t to);
    void DblClickCell(int32_t row, int col);
    // The Delete key was pressed while no cell was being edited.
    void DeleteKeyPressed();
    // Files were dropped on the grid, to go in before grid row `row` (one past the last cue
    // below the rows).
    void FilesDropped(int32_t row, const QStringList& files);

protected:
    // Delete asks for the current cue to go; Enter edits the current cell, as F2 does.
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void SetUpColumns();
    void SizeColumns();
    // The file name column takes the width that the other columns leave, yet never less than
    // its header needs: it gives way first, then the grid scrolls sideways.
    void FitFileNameColumn();
    // The Output column is as wide as the widest output name it shows; set again only when that
    // width changes, so a width dragged by hand stays until then.
    void FitOutputColumn();
    int OutputColumnWidth() const;
    void RowHeaderMoved(int logical, int oldVisual, int newVisual);
    void RepaintRow(int row);
    // The files of the rows in view are looked at again now and then, so a file that appears or
    // goes while the show is open is shown so.
    void CheckVisibleFiles();

    TCueGridModel* FModel;
    TPlaybackRefresh* FRefresh;
    QTimer FFileCheck;
    int FOutputWidth = 0;
    int FScale = 100;
    // The fonts of the normal size: of the cells, the column header and the row header.
    QFont FCellFont;
    QFont FColumnFont;
    QFont FRowFont;
};
