#include "TSessionEndWatcher.h"
#include "TfmMain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelmo"));

    int exitCode = 0;
    {
        TfmMain fmMain;
        TSessionEndWatcher sessionEnd;
        QObject::connect(&sessionEnd, &TSessionEndWatcher::sessionEnding, &fmMain, &TfmMain::close);
        fmMain.show();
        exitCode = QApplication::exec();
    }
    return exitCode;
}
