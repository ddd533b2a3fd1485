#include "StartUpCheck.h"
#include "TAudioEngine.h"
#include "TInstanceRegistry.h"
#include "TOscControl.h"
#include "TPulseOutput.h"
#include "TSessionEndWatcher.h"
#include "TfmMain.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

int main(int argc, char* argv[]) {
    int exitCode = 0;
    std::unique_ptr<TAppInstances> appInstances = StartUpCheck(argc, argv, exitCode);
    if (!appInstances)
        return exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelmo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/trelmo.svg")));
    {
        // A session end during start-up (a message box may be open) closes the window once it
        // is shown, so the settings are still written.
        TSessionEndWatcher sessionEnd;
        bool endRequested = false;
        const QMetaObject::Connection early = QObject::connect(
            &sessionEnd, &TSessionEndWatcher::sessionEnding, [&] { endRequested = true; });
        TfmMain fmMain(std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>()),
                       std::move(appInstances));
        QObject::disconnect(early);
        QObject::connect(&sessionEnd, &TSessionEndWatcher::sessionEnding, &fmMain, &TfmMain::close);
        // Only the first instance gets here, so only it takes OSC.
        TOscControl osc(fmMain);
        osc.Start();
        fmMain.show();
        if (endRequested)
            QTimer::singleShot(0, &fmMain, &TfmMain::close);
        exitCode = QApplication::exec();
        // Leave the registry before the window goes.
        TInstanceRegistry::ReleaseProcess();
    }
    return exitCode;
}
