#include "TOscControl.h"

#include "TfmMain.h"

#include <QStatusBar>

#include <cstdio>

TOscControl::TOscControl(TfmMain& form) : FForm(form) {
    FServer.OnCommand = [this](const TOscCommand& command) { Execute(command); };
}

void TOscControl::Start() {
    const TOscSettings& settings = FForm.Production->Osc;
    std::string failure;
    if (!FServer.Start(settings.Address, settings.Port, failure)) {
        std::fprintf(stderr, "Trelmo: %s\n", failure.c_str());
        FForm.statusBar()->showMessage(QString::fromStdString(failure));
        return;
    }
    std::fprintf(stderr, "Trelmo: OSC listens on UDP %s port %u.\n", settings.Address.c_str(),
                 FServer.Port());
}

// Cue numbers out of range are skipped without a trace, as for remote commands.
void TOscControl::Execute(const TOscCommand& command) {
    TCueList& cues = FForm.Production->Cues;
    const bool inRange = command.Cue >= 1 && command.Cue <= cues.Count();
    switch (command.Kind) {
    case TOscCommand::ocCueStart:
        if (inRange)
            cues.Items(command.Cue - 1)->Play();
        break;
    case TOscCommand::ocCueStop:
        if (inRange)
            cues.Items(command.Cue - 1)->Stop();
        break;
    case TOscCommand::ocCuePause:
        if (inRange)
            cues.Items(command.Cue - 1)->Pause();
        break;
    case TOscCommand::ocGo:
        FForm.Go();
        break;
    case TOscCommand::ocStopAll:
        cues.StopAll();
        break;
    case TOscCommand::ocPanic:
        FForm.Panic();
        break;
    case TOscCommand::ocSelect:
        FForm.SelectCue(command.Cue);
        break;
    }
}
