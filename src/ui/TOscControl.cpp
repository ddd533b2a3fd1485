#include "TOscControl.h"

#include "TShowControl.h"
#include "TfmMain.h"

#include <cstdio>

TOscControl::TOscControl(TfmMain& form) : FForm(form) {
    // Cue numbers out of range are skipped without a trace, as for remote commands.
    FServer.OnCommand = [this](const TOscCommand& command) { FForm.Show().Run(command); };
    FServer.OnBundle = [this](const std::vector<TOscCommand>& commands) {
        FForm.Show().Run(commands);
    };
}

void TOscControl::Start() {
    const TOscSettings& settings = FForm.Production->Osc;
    std::string failure;
    if (!FServer.Start(settings.Address, settings.Port, failure)) {
        FForm.SetProblem(QStringLiteral("osc"), QString::fromStdString(failure));
        return;
    }
    std::fprintf(stderr, "Trelmo: OSC listens on UDP %s port %u.\n", settings.Address.c_str(),
                 FServer.Port());
}
