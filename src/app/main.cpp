// The application: everything a launch that runs does once the single-instance check has
// passed, from the QApplication to the end of the event loop. Built into the application
// library that the `trelmo` executable loads.
#include "TAppInstances.h"
#include "TAudioEngine.h"
#include "TOscControl.h"
#include "TPulseOutput.h"
#include "TSessionEndWatcher.h"
#include "TShowFiles.h"
#include "TfmMain.h"
#include "TrelmoApplication.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#define TRELMO_EXPORT __attribute__((visibility("default")))

extern "C" TRELMO_EXPORT int TrelmoRunApplication(const TrelmoLaunch* launch) {
    auto appInstances = std::make_unique<TAppInstances>(
        TReceiverSocket::Adopt(launch->receiverSocket, launch->receiverPath), launch->processId);
    int argc = launch->argc;
    QApplication app(argc, launch->argv);
    QApplication::setApplicationName(QStringLiteral("Trelmo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/trelmo.svg")));
    // A session end during start-up (a message box may be open) closes the window once it is
    // shown, so the settings are still written.
    TSessionEndWatcher sessionEnd;
    bool endRequested = false;
    const QMetaObject::Connection early = QObject::connect(
        &sessionEnd, &TSessionEndWatcher::sessionEnding, [&] { endRequested = true; });
    TfmMain fmMain(std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>()),
                   std::move(appInstances));
    QObject::disconnect(early);
    QObject::connect(&sessionEnd, &TSessionEndWatcher::sessionEnding, &fmMain,
                     &TfmMain::EndSession);
    // Only the first instance gets here, so only it takes OSC.
    TOscControl osc(fmMain);
    osc.Start();
    // A first launch on one show file (a double click in a file manager) opens it.
    const std::vector<std::string> arguments(launch->argv + 1, launch->argv + launch->argc);
    if (TShowFiles::IsShowFileArgument(arguments))
        fmMain.AppInstances1CmdLineReceived(arguments);
    fmMain.show();
    if (endRequested)
        QTimer::singleShot(0, &fmMain, &TfmMain::EndSession);
    const int exitCode = QApplication::exec();
    // Leave the registry before the window goes.
    launch->leaveRegistry(launch->context);
    return exitCode;
}

extern "C" TRELMO_EXPORT void TrelmoReportApplicationError(int argc, char** argv,
                                                           const char* message) {
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"),
                          QString::fromLocal8Bit(message));
}
