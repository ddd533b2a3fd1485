#include "TCueRelinkCommand.h"

TCueRelinkCommand::TCueRelinkCommand(TCueList& cues, std::vector<TLink> links, const QString& text)
    : TCueCommand(cues, text), FLinks(std::move(links)) {
    Apply(true);
}

QString TCueRelinkCommand::Refusal() const {
    for (const TLink& link : FLinks) {
        const TCue* cue = FCues.CueOf(FCues.IndexOfIdentity(link.Identity));
        if (!cue)
            return QStringLiteral("A cue that was relinked is no longer in the cue list.");
        if (cue->State() != csStopped)
            return QStringLiteral("A cue that was relinked plays; stop it first.");
    }
    return {};
}

void TCueRelinkCommand::Undo() {
    Apply(false);
}

void TCueRelinkCommand::Redo() {
    Apply(true);
}

void TCueRelinkCommand::Apply(bool after) {
    for (const TLink& link : FLinks)
        if (TCue* cue = FCues.CueOf(FCues.IndexOfIdentity(link.Identity))) {
            cue->FileName = after ? link.After : link.Before;
            FFocusRow = FCues.IndexOf(cue).Number();
        }
}
