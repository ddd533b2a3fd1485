#pragma once

#include "TCueList.h"
#include "TOpenFileRequest.h"

#include <QStringList>

#include <cstdint>
#include <string>

class TCueUndoStack;
class TShowControl;

// What the commands need of the main window, and nothing more. UI thread only.
class TMainActionsHost {
public:
    // The cue list the commands act on.
    virtual TCueList& Cues() = 0;
    // The grid's current row, 1 for the first row.
    virtual TCueNumber CurrentRow() const = 0;
    // Asks the operator for audio files; none when cancelled.
    virtual QStringList AskForAudioFiles(const TOpenFileRequest& request) = 0;
    // Rebuilds the grid after the list has changed.
    virtual void RefreshGrid() = 0;
    // Rebuilds the grid and makes `row` current; 0 keeps the current row, below 0 does nothing.
    virtual void ShowChangedList(int32_t row) = 0;
    // The changes of the cue list that can be taken back; every change made is pushed on it.
    virtual TCueUndoStack& History() = 0;
    // Sends the state changes of a new cue to the window.
    virtual void BindCueStateChange(TCue& cue) = 0;
    // The running of the show: starts cues, and knows the cue started last.
    virtual TShowControl& Show() = 0;
    // The help file's full path.
    virtual std::string HelpFile() const = 0;

protected:
    ~TMainActionsHost() = default;
};
