// Stands in for trelmo in the tests: the same start-up check and main window, with ten cues on
// a fake audio library, in one executable. Prints "ready", then one line per forwarded argument
// list: the lines received, each cue's state digit, the current cue and whether a modal box was
// open. Arguments of the first instance: --modal keeps a modal message box open; --cues=N
// makes N cues.
#include "FakeAudioLibrary.h"
#include "OfflineAudio.h"
#include "StartUp.h"
#include "TSessionEndWatcher.h"
#include "TfmMain.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string Report(const TfmMain& fmMain, const std::vector<std::string>& lines) {
    std::string report = "lines=";
    for (const std::string& line : lines)
        report += line + "|";
    report += " states=";
    const TCueList& cues = fmMain.Production->Cues;
    for (int32_t i = 0; i < cues.Count(); ++i)
        report += std::to_string(cues.Items(i)->State());
    report += " current=" + std::to_string(cues.Current().Number());
    report += QApplication::activeModalWidget() ? " modal=1" : " modal=0";
    return report;
}

void Print(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

int RunProbe(const TrelmoLaunch& launch) {
    auto appInstances = std::make_unique<TAppInstances>(
        TReceiverSocket::Adopt(launch.receiverSocket, launch.receiverPath), launch.processId);
    int argc = launch.argc;
    char** argv = launch.argv;
    const std::string option = argc > 1 ? argv[1] : "";
    const int cueCount = option.starts_with("--cues=") ? std::stoi(option.substr(7)) : 10;
    QApplication app(argc, argv);
    FakeAudioLibrary audio;
    int exitCode = 0;
    {
        TfmMain fmMain(OfflineAudio(), std::move(appInstances));
        // The cues play on the fake library, not on the window's sound engine.
        SetAudioLibrary(&audio);
        const std::string file = fmMain.AppDir + "cue.wav";
        std::ofstream(file) << "RIFF";
        for (int i = 0; i < cueCount; ++i) {
            auto cue = std::make_unique<TCue>();
            cue->FileName = file;
            fmMain.Production->Cues.Add(std::move(cue));
        }
        fmMain.Production->Cues.SetCurrent(TCueNumber(5));
        const auto execute = fmMain.AppInstances1->OnCmdLineReceived;
        fmMain.AppInstances1->OnCmdLineReceived = [&](const std::vector<std::string>& lines) {
            execute(lines);
            Print(Report(fmMain, lines));
        };
        TSessionEndWatcher sessionEnd;
        QObject::connect(&sessionEnd, &TSessionEndWatcher::sessionEnding, &app,
                         &QApplication::quit);
        if (option == "--modal") {
            QTimer::singleShot(0, &fmMain, [&] {
                QMessageBox box(QMessageBox::Information, QStringLiteral("Trelmo"),
                                QStringLiteral("Modal"), QMessageBox::Ok, &fmMain);
                QTimer::singleShot(0, &box, [] { Print("modal"); });
                box.exec();
            });
        }
        Print("ready " + Report(fmMain, {}));
        exitCode = QApplication::exec();
        launch.leaveRegistry(launch.context);
    }
    return exitCode;
}

} // namespace

int main(int argc, char* argv[]) {
    return StartUp(argc, argv,
                   {RunProbe, [](int, char**, const char* message) { Print(message); }});
}
