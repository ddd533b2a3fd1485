#pragma once

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class QAction;
class QMenu;
class QWidget;

// Sends the main window to the notification area when it is minimised and brings it back on a
// double click or the menu's Restore. The window is only hidden and shown again, never
// re-created, so it keeps its geometry and contents. Where no notification area exists the
// window minimises normally. UI thread only.
class TTrayIcon : public QObject {
    Q_OBJECT

public:
    // The actions are the owner's; the menu shows them in this order.
    TTrayIcon(QWidget* mainWindow, QAction* restore, QAction* exit, QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Starts watching the window; until then minimising is left alone.
    void Activate();

    virtual void HideToTray();
    virtual void RestoreFromTray();
    void AddTrayIcon();
    void RemoveTrayIcon();
    bool IsApplicationShown() const;

    // False while the window is hidden to the notification area.
    bool VisibleTaskBar() const { return FVisibleTaskBar; }

    QSystemTrayIcon* Icon() const { return FIcon; }
    QMenu* PopupMenu() const { return pmTray.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Minimised();
    void Activated(QSystemTrayIcon::ActivationReason reason);
    void CheckTrayHost();

    QWidget* FWindow;
    QSystemTrayIcon* FIcon;
    std::unique_ptr<QMenu> pmTray;
    QTimer FTrayHostWatch;
    bool FActive = false;
    bool FVisibleTaskBar = true;
    // The notification area went away while the window was in it; the window waits
    // minimised in the task bar until the area is back.
    bool FWaitingForTray = false;
};
