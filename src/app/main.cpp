#include "TSessionEndWatcher.h"
#include "TfmMain.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Trelmo"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Trelmo.svg")));

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
