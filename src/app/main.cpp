#include "StartUpCheck.h"
#include "TInstanceRegistry.h"
#include "TSessionEndWatcher.h"
#include "TfmMain.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    int exitCode = 0;
    std::unique_ptr<TAppInstances> appInstances = StartUpCheck(argc, argv, exitCode);
    if (!appInstances)
        return exitCode;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelmo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Trelmo.svg")));
    {
        TfmMain fmMain(std::move(appInstances));
        TSessionEndWatcher sessionEnd;
        QObject::connect(&sessionEnd, &TSessionEndWatcher::sessionEnding, &fmMain, &TfmMain::close);
        fmMain.show();
        exitCode = QApplication::exec();
        // Leave the registry before the window goes.
        TInstanceRegistry::ReleaseProcess();
    }
    return exitCode;
}
