#pragma once

#include "TCueCommands.h"

#include <cstdint>
#include <string>
#include <vector>

// New files for several cues in one step (Find Missing Files, a show saved with its media). Names
// the cues by Identity: a cue that has left the list, or that plays, refuses the whole step.
class TCueRelinkCommand : public TCueCommand {
public:
    struct TLink {
        uint64_t Identity = 0;
        std::string Before;
        std::string After;
    };

    // Gives each cue named in `links` its After file now.
    TCueRelinkCommand(TCueList& cues, std::vector<TLink> links, const QString& text);

    QString Refusal() const override;

private:
    void Undo() override;
    void Redo() override;
    void Apply(bool after);

    std::vector<TLink> FLinks;
};
