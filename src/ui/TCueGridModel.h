#pragma once

#include "TCueList.h"
#include "TCueSequencer.h"
#include "TCueSettings.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QPointer>

#include <cstdint>
#include <functional>

class TCueLengths;
class TImageList;
class TOutputNames;

// The columns of grSounds; the row header (state picture and number) is the vertical header.
enum TCueColumn : int {
    ccDescription,
    ccFileName,
    ccVolume,
    ccPan,
    ccPitch,
    ccLoop,
    ccOutput,
    ccTime,
    ccFadeIn,
    ccFadeOut,
    ccPreWait,
    ccPostWait,
    ccContinue,
    ccColumnCount
};

// Shows the cue list in grSounds. Every call reads the cues afresh and every edit goes through the
// cue's setters at once; the model keeps nothing but the grid's row count. Rows are given as grid
// row numbers, 1 for the first row, as the cue numbers are. UI thread only.
class TCueGridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // The list to show; nullptr while there is none.
    using TCueListSource = std::function<TCueList*()>;
    // Time cell of a playing or paused cue: how far it has got, 0 to 1 (double).
    static constexpr int ProgressRole = Qt::UserRole + 1;
    // Time cell of a cue whose meter shows something: its level, 0 to 1 (double).
    static constexpr int LevelRole = Qt::UserRole + 2;

    TCueGridModel(TCueListSource cues, const TImageList& images, QObject* parent = nullptr);

    // Tells the operator that a cell's text was refused. Set by the window.
    std::function<void(const QString& text)> OnCellError;
    // Runs after an edit has changed a cue, with the settings it had before. Set by the window.
    std::function<void(TCue& cue, const TCueSettings& before)> OnCueEdited;
    // Runs after an edit has been written to the cue of grid row `row`: the window refreshes the
    // row and then the commands. Set by the window.
    std::function<void(int32_t row)> OnEditDone;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    TCueList* Cues() const { return FCues(); }
    TCueLengths& Lengths() const { return *FLengths; }
    TOutputNames& Outputs() const { return *FOutputs; }
    // Where the meters' levels come from; none until set.
    void SetLevelSource(std::function<double(HSTREAM stream)> level) { FLevel = std::move(level); }

    // The waits that the Time column counts down; none until set.
    void SetSequencer(const TCueSequencer* sequencer);
    const TCueSequencer* Sequencer() const { return FSequencer; }

    // Every text the Output column shows, or can show after a choice from its drop-down.
    QStringList OutputTexts() const;

    // The cue shown in grid row `row`, nullptr for the blank row.
    TCue* CueOfRow(int32_t row) const;
    // The grid row of a cell, 1 for the first, as the grid's events count.
    static int32_t NumberOf(const QModelIndex& index) {
        return TCueNumber::OfRow(index.row()).Number();
    }
    // Asked whenever an editor would open or a check box would toggle.
    bool grSoundsCanEditCell(int32_t row, int col) const;

    // Row count follows the list (at least the one blank row); every row is drawn again.
    void RefreshGrid();
    // Draws the cells of one row again, and looks at its file again in the background.
    void RefreshRow(int32_t row);
    // Looks again in the background at the files of grid rows `first` to `last`.
    void CheckFiles(int32_t first, int32_t last);
    // Draws the state picture of one row again; rows without a cue are ignored.
    void RefreshRowState(int32_t row);
    // Draws the Time cell of one row again; rows without a cue are ignored.
    void RefreshTime(int32_t row);

private:
    QVariant MissingFileMark(const TCue& cue, int role) const;
    QVariant FileNameTip(const TCue& cue) const;
    // False when the text was refused and the cue left as it was.
    bool grSoundsEditCellDone(TCue& cue, int col, const QString& text);
    void grSoundsCheckBoxClick(TCue& cue, bool state);
    QVariant TimeData(const TCue& cue, int role) const;
    void RefreshColumn(int col);
    void RefreshFile(const std::string& file);

    TCueListSource FCues;
    const TImageList& FImages;
    // The play picture fading to the right: a cue on its way to a stop.
    QIcon FFadingPicture;
    int FRowCount = 1;
    TCueLengths* FLengths;
    TOutputNames* FOutputs;
    std::function<double(HSTREAM)> FLevel;
    QPointer<const TCueSequencer> FSequencer;
};
