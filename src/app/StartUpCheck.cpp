#include "StartUpCheck.h"

#include "TInstanceRegistry.h"

#include <QApplication>
#include <QMessageBox>

#include <string>
#include <vector>

namespace {

void ReportApplicationError(int argc, char* argv[], const std::string& message) {
    QApplication app(argc, argv);
    QMessageBox::critical(nullptr, QStringLiteral("Application Error"),
                          QString::fromLocal8Bit(message));
}

} // namespace

std::unique_ptr<TAppInstances> StartUpCheck(int argc, char* argv[], int& exitCode) {
    std::unique_ptr<TAppInstances> appInstances;
    try {
        appInstances = std::make_unique<TAppInstances>(TInstanceRegistry::Process());
    } catch (const std::exception& e) {
        ReportApplicationError(argc, argv, e.what());
        exitCode = 1;
        return nullptr;
    }
    appInstances->AutoActivate = false;
    if (appInstances->CheckLaunch(std::vector<std::string>(argv + 1, argv + argc)))
        return appInstances;
    appInstances.reset();
    TInstanceRegistry::ReleaseProcess();
    exitCode = 0;
    return nullptr;
}
