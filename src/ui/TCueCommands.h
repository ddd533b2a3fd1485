#pragma once

#include "TCueList.h"
#include "TCueSettings.h"

#include <QUndoCommand>
#include <QUndoStack>

#include <cstdint>
#include <memory>
#include <vector>

// An undoable change of the cue list, made after the change itself has been done: the redo() that
// QUndoStack::push runs does nothing. Undo and redo are refused while they would change a cue that
// plays or is paused, as the change itself is. UI thread only.
class TCueCommand : public QUndoCommand {
public:
    // Why undo() and redo() would not act now; empty when they would.
    virtual QString Refusal() const = 0;
    bool Allowed() const { return Refusal().isEmpty(); }
    // The grid row to make current after the last undo or redo; 0 keeps the current row.
    int32_t FocusRow() const { return FFocusRow; }

    void undo() final;
    void redo() final;

protected:
    TCueCommand(TCueList& cues, const QString& text);
    virtual void Undo() = 0;
    virtual void Redo() = 0;

    TCueList& FCues;
    int32_t FFocusRow = 0;

private:
    bool FPushed = false;
};

// New settings of one cue: a cell edit or a new file. Names the cue by its Identity, so a cue
// that has left the list by any way is refused rather than changed.
class TCueEditCommand : public TCueCommand {
public:
    // `cue` holds its new settings already; `before` are the ones it had.
    TCueEditCommand(TCueList& cues, const TCue& cue, const TCueSettings& before);

    QString Refusal() const override;

private:
    void Undo() override;
    void Redo() override;
    void Apply(const TCueSettings& settings);
    TCue* Cue() const;

    uint64_t FIdentity;
    TCueSettings FBefore;
    TCueSettings FAfter;
};

// The level of one cue kept from its playback. Only the stored level changes, which is allowed
// while the cue plays: what is heard stays as it is.
class TCueLevelCommand : public TCueCommand {
public:
    // `cue` holds its new level already; `before` is the one it had.
    TCueLevelCommand(TCueList& cues, const TCue& cue, int32_t before);

    QString Refusal() const override;

private:
    void Undo() override;
    void Redo() override;
    void Apply(int32_t db);
    TCue* Cue() const;

    uint64_t FIdentity;
    int32_t FBefore;
    int32_t FAfter;
};

// Cues put into the list (Insert, Add Files) or taken out of it (Delete). While out of the list
// the command owns them, so an undone Delete brings back the very cue with all its settings.
class TCueRowsCommand : public TCueCommand {
public:
    // The cues at positions first to first + count - 1 have just been inserted.
    static std::unique_ptr<TCueRowsCommand> Inserted(TCueList& cues, int32_t first, int32_t count,
                                                     const QString& text);
    // Takes the cue at `position` out of the list now.
    static std::unique_ptr<TCueRowsCommand> Delete(TCueList& cues, int32_t position);

    QString Refusal() const override;

private:
    TCueRowsCommand(TCueList& cues, int32_t first, int32_t count, bool inserted,
                    const QString& text);
    void Undo() override;
    void Redo() override;
    void PutIn();
    void TakeOut();

    int32_t FFirst;
    int32_t FCount;
    bool FInserted;
    // The cues while they are out of the list, in list order.
    std::vector<std::unique_ptr<TCue>> FOut;
};

// A cue dragged from one position to another.
class TCueMoveCommand : public TCueCommand {
public:
    // The cue has just been moved from position `from` to position `to`.
    TCueMoveCommand(TCueList& cues, int32_t from, int32_t to);

    // Rows move whatever the cues' states.
    QString Refusal() const override;

private:
    void Undo() override;
    void Redo() override;

    int32_t FFrom;
    int32_t FTo;
};

// The window's undo history of TCueCommands.
class TCueUndoStack : public QUndoStack {
    Q_OBJECT

public:
    using QUndoStack::QUndoStack;

    void Push(std::unique_ptr<TCueCommand> command);
    bool CanUndoNow() const;
    bool CanRedoNow() const;
    // Why the next undo or redo would be refused; empty when it would act or there is none.
    QString UndoRefusal() const;
    QString RedoRefusal() const;
    // Undoes or redoes one command when allowed; the row to make current afterwards, 0 to keep
    // it, or -1 when nothing was done.
    int32_t UndoNow();
    int32_t RedoNow();

private:
    const TCueCommand* CommandAt(int index) const;
};
