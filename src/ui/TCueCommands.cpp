#include "TCueCommands.h"

TCueCommand::TCueCommand(TCueList& cues, const QString& text) : QUndoCommand(text), FCues(cues) {}

void TCueCommand::undo() {
    Undo();
}

void TCueCommand::redo() {
    if (!FPushed) {
        FPushed = true;
        return;
    }
    Redo();
}

namespace {

QString CueGoneText() {
    return QStringLiteral("The cue that was changed is no longer in the cue list.");
}

QString RowsGoneText() {
    return QStringLiteral("The cue list no longer has the rows of this change.");
}

} // namespace

TCueEditCommand::TCueEditCommand(TCueList& cues, const TCue& cue, const TCueSettings& before)
    : TCueCommand(cues, QStringLiteral("Edit")), FIdentity(cue.Identity()), FBefore(before),
      FAfter(TCueSettings::Of(cue)) {}

TCue* TCueEditCommand::Cue() const {
    return FCues.CueOf(FCues.IndexOfIdentity(FIdentity));
}

QString TCueEditCommand::Refusal() const {
    const TCue* cue = Cue();
    if (!cue)
        return CueGoneText();
    if (cue->State() != csStopped)
        return QStringLiteral("The cue that was changed plays; stop it first.");
    return {};
}

void TCueEditCommand::Undo() {
    Apply(FBefore);
}

void TCueEditCommand::Redo() {
    Apply(FAfter);
}

void TCueEditCommand::Apply(const TCueSettings& settings) {
    if (TCue* cue = Cue()) {
        settings.ApplyTo(*cue);
        FFocusRow = FCues.IndexOf(cue).Number();
    }
}

TCueLevelCommand::TCueLevelCommand(TCueList& cues, const TCue& cue, int32_t before)
    : TCueCommand(cues, QStringLiteral("Keep Level")), FIdentity(cue.Identity()), FBefore(before),
      FAfter(cue.VolumeDB()) {}

TCue* TCueLevelCommand::Cue() const {
    return FCues.CueOf(FCues.IndexOfIdentity(FIdentity));
}

QString TCueLevelCommand::Refusal() const {
    return Cue() ? QString() : CueGoneText();
}

void TCueLevelCommand::Undo() {
    Apply(FBefore);
}

void TCueLevelCommand::Redo() {
    Apply(FAfter);
}

void TCueLevelCommand::Apply(int32_t db) {
    if (TCue* cue = Cue()) {
        cue->SetVolumeDB(db);
        FFocusRow = FCues.IndexOf(cue).Number();
    }
}

TCueRowsCommand::TCueRowsCommand(TCueList& cues, int32_t first, int32_t count, bool inserted,
                                 const QString& text)
    : TCueCommand(cues, text), FFirst(first), FCount(count), FInserted(inserted) {}

std::unique_ptr<TCueRowsCommand> TCueRowsCommand::Inserted(TCueList& cues, int32_t first,
                                                           int32_t count, const QString& text) {
    return std::unique_ptr<TCueRowsCommand>(new TCueRowsCommand(cues, first, count, true, text));
}

std::unique_ptr<TCueRowsCommand> TCueRowsCommand::Delete(TCueList& cues, int32_t position) {
    std::unique_ptr<TCueRowsCommand> command(
        new TCueRowsCommand(cues, position, 1, false, QStringLiteral("Delete")));
    command->TakeOut();
    return command;
}

// As Insert and Delete themselves: only while every cue is stopped.
QString TCueRowsCommand::Refusal() const {
    if (!FCues.AllStopped())
        return QStringLiteral("Cues can be added or removed only while every cue is stopped.");
    const bool cuesIn = FOut.empty();
    const bool rowsThere = cuesIn ? FFirst + FCount <= FCues.Count() : FFirst <= FCues.Count();
    return rowsThere ? QString() : RowsGoneText();
}

void TCueRowsCommand::Undo() {
    if (FInserted)
        TakeOut();
    else
        PutIn();
}

void TCueRowsCommand::Redo() {
    if (FInserted)
        PutIn();
    else
        TakeOut();
}

void TCueRowsCommand::TakeOut() {
    for (int32_t i = 0; i < FCount; ++i)
        FOut.push_back(FCues.Extract(FFirst));
    FFocusRow = 0;
}

// A cue whose UID another cue has taken meanwhile gets the lowest free one.
void TCueRowsCommand::PutIn() {
    for (int32_t i = 0; i < FCount; ++i) {
        std::unique_ptr<TCue> cue = std::move(FOut[static_cast<size_t>(i)]);
        const bool uidTaken = !cue->UID.empty() && FCues.IndexOfUID(cue->UID) != 0;
        if (uidTaken)
            cue->UID.clear();
        FCues.Insert(FFirst + i, std::move(cue));
        if (uidTaken)
            FCues.AssignUID(FFirst + i);
    }
    FOut.clear();
    FFocusRow = FFirst + FCount;
}

TCueMoveCommand::TCueMoveCommand(TCueList& cues, int32_t from, int32_t to)
    : TCueCommand(cues, QStringLiteral("Move")), FFrom(from), FTo(to) {}

QString TCueMoveCommand::Refusal() const {
    return FFrom < FCues.Count() && FTo < FCues.Count() ? QString() : RowsGoneText();
}

void TCueMoveCommand::Undo() {
    FCues.Move(FTo, FFrom);
}

void TCueMoveCommand::Redo() {
    FCues.Move(FFrom, FTo);
}

void TCueUndoStack::Push(std::unique_ptr<TCueCommand> command) {
    push(command.release());
}

const TCueCommand* TCueUndoStack::CommandAt(int index) const {
    return index >= 0 && index < count() ? static_cast<const TCueCommand*>(command(index))
                                         : nullptr;
}

bool TCueUndoStack::CanUndoNow() const {
    const TCueCommand* next = CommandAt(index() - 1);
    return next && next->Allowed();
}

bool TCueUndoStack::CanRedoNow() const {
    const TCueCommand* next = CommandAt(index());
    return next && next->Allowed();
}

QString TCueUndoStack::UndoRefusal() const {
    const TCueCommand* next = CommandAt(index() - 1);
    return next ? next->Refusal() : QString();
}

QString TCueUndoStack::RedoRefusal() const {
    const TCueCommand* next = CommandAt(index());
    return next ? next->Refusal() : QString();
}

int32_t TCueUndoStack::UndoNow() {
    if (!CanUndoNow())
        return -1;
    undo();
    return CommandAt(index())->FocusRow();
}

int32_t TCueUndoStack::RedoNow() {
    if (!CanRedoNow())
        return -1;
    redo();
    return CommandAt(index() - 1)->FocusRow();
}
