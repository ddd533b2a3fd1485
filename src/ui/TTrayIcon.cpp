#include "TTrayIcon.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

namespace {
// How often the notification area is looked for while the window depends on it.
constexpr int TrayHostWatchMs = 1000;
} // namespace

TTrayIcon::TTrayIcon(QWidget* mainWindow, QAction* restore, QAction* exit, QObject* parent)
    : QObject(parent), FWindow(mainWindow), FIcon(new QSystemTrayIcon(this)),
      pmTray(std::make_unique<QMenu>()) {
    pmTray->addAction(restore);
    pmTray->addAction(exit);
    FIcon->setContextMenu(pmTray.get());
    connect(FIcon, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    FTrayHostWatch.setInterval(TrayHostWatchMs);
    connect(&FTrayHostWatch, &QTimer::timeout, this, &TTrayIcon::CheckTrayHost);
}

TTrayIcon::~TTrayIcon() {
    RemoveTrayIcon();
}

void TTrayIcon::Activate() {
    FIcon->setIcon(QApplication::windowIcon());
    FWindow->installEventFilter(this);
    FActive = true;
    AddTrayIcon();
}

void TTrayIcon::HideToTray() {
    if (IsApplicationShown())
        FWindow->setWindowState(FWindow->windowState() | Qt::WindowMinimized);
    FWindow->hide();
    FVisibleTaskBar = false;
    AddTrayIcon();
    FTrayHostWatch.start();
}

void TTrayIcon::RestoreFromTray() {
    FVisibleTaskBar = true;
    FWaitingForTray = false;
    FTrayHostWatch.stop();
    // A maximised window comes back maximised.
    FWindow->setWindowState((FWindow->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    FWindow->show();
    FWindow->raise();
    FWindow->activateWindow();
    RemoveTrayIcon();
}

void TTrayIcon::AddTrayIcon() {
    if (FIcon->isVisible() || !FActive || IsApplicationShown())
        return;
    FIcon->show();
}

void TTrayIcon::RemoveTrayIcon() {
    FIcon->hide();
}

bool TTrayIcon::IsApplicationShown() const {
    return FVisibleTaskBar && !FWindow->isMinimized();
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    // Hiding is left until the minimise has been handled completely.
    if (watched == FWindow && event->type() == QEvent::WindowStateChange && FWindow->isMinimized())
        QMetaObject::invokeMethod(this, &TTrayIcon::Minimised, Qt::QueuedConnection);
    return QObject::eventFilter(watched, event);
}

void TTrayIcon::Minimised() {
    if (FActive && FVisibleTaskBar && FWindow->isMinimized() &&
        QSystemTrayIcon::isSystemTrayAvailable())
        HideToTray();
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick && !IsApplicationShown())
        RestoreFromTray();
}

// A hidden window without a notification area could not be reached, so it waits minimised
// in the task bar until the area comes back.
void TTrayIcon::CheckTrayHost() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (!FVisibleTaskBar && !available) {
        RemoveTrayIcon();
        FVisibleTaskBar = true;
        FWaitingForTray = true;
        FWindow->showMinimized();
    } else if (FWaitingForTray && (available || !FWindow->isMinimized())) {
        FWaitingForTray = false;
        FTrayHostWatch.stop();
        if (FWindow->isMinimized())
            HideToTray();
    }
}
