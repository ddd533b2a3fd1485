#include "TTrayIcon.h"
#include "OfflineAudio.h"
#include "TfmMain.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

namespace {

constexpr int WaitMs = 10000;

// A real notification area: Debian's trayer on the test display, ended by its process id.
class TTrayHost {
public:
    ~TTrayHost() { Stop(); }

    bool Start() {
        FProcess.start(QStringLiteral("trayer"),
                       {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                        QStringLiteral("right")});
        return FProcess.waitForStarted(WaitMs) &&
               QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, WaitMs);
    }

    bool Stop() {
        if (FProcess.state() == QProcess::NotRunning)
            return true;
        FProcess.terminate();
        return FProcess.waitForFinished(WaitMs) &&
               QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, WaitMs);
    }

private:
    QProcess FProcess;
};

// Runs an X tool and returns its output; none when it fails.
std::optional<QString> RunTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForFinished(WaitMs) || tool.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

bool IsMappedOnTheServer(const QWidget& window) {
    return RunTool(QStringLiteral("xwininfo"),
                   {QStringLiteral("-id"), QString::number(window.winId())})
        .value_or(QString())
        .contains(QStringLiteral("Map State: IsViewable"));
}

// The window that Qt docks into the notification area for the icon.
QWidget* IconWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() &&
            QByteArray(widget->metaObject()->className()) == "QSystemTrayIconSys")
            return widget;
    }
    return nullptr;
}

// True when the icon's window sits inside the tray host's window, not on the root window.
bool IconIsDocked() {
    const QWidget* window = IconWindow();
    if (!window)
        return false;
    const std::optional<QString> info =
        RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-children"), QStringLiteral("-id"),
                                             QString::number(window->winId())});
    static const QRegularExpression parent(QStringLiteral("Parent window id: (0x[0-9a-f]+) (.*)"));
    const QRegularExpressionMatch match = parent.match(info.value_or(QString()));
    return match.hasMatch() && !match.captured(2).startsWith(QStringLiteral("(the root window)"));
}

// Waits until the tray host has taken the icon in and shows it: only then do clicks reach it.
bool WaitUntilIconIsClickable() {
    return QTest::qWaitFor([] { return IconIsDocked() && IsMappedOnTheServer(*IconWindow()); },
                           WaitMs) &&
           QTest::qWaitForWindowExposed(IconWindow());
}

// Clicks the docked icon with the real pointer.
bool ClickIcon(int button, int count) {
    const QWidget* window = IconWindow();
    return window &&
           RunTool(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("--window"),
                    QString::number(window->winId()), QString::number(window->width() / 2),
                    QString::number(window->height() / 2), QStringLiteral("click"),
                    QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
                    QStringLiteral("80"), QString::number(button)})
               .has_value();
}

class TTrayIconTest : public ::testing::Test {
protected:
    void SetUp() override {
        QPixmap picture(16, 16);
        picture.fill(Qt::darkCyan);
        QApplication::setWindowIcon(QIcon(picture));
    }

    // Shows the window with a saved geometry and waits until it is on screen.
    void ShowAt(TfmMain& fmMain, const QRect& geometry) {
        fmMain.Production->FormState = {geometry.top(), geometry.left(), geometry.height(),
                                        geometry.width()};
        fmMain.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
        ASSERT_EQ(fmMain.geometry(), geometry);
    }

    // Minimises the window and waits until it is in the tray with its icon docked.
    void MinimiseToTray(TfmMain& fmMain) {
        fmMain.showMinimized();
        QSystemTrayIcon* icon = fmMain.TrayIcon->Icon();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return fmMain.isHidden() && icon->isVisible(); }, WaitMs));
        ASSERT_TRUE(WaitUntilIconIsClickable());
        EXPECT_FALSE(fmMain.TrayIcon->VisibleTaskBar());
        EXPECT_FALSE(IsMappedOnTheServer(fmMain));
    }

    TTrayHost TrayHost;
};

const QRect SavedGeometry(130, 150, 640, 420);

TEST_F(TTrayIconTest, ShownWindowHasNoIcon) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    QTest::qWait(200);
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
    EXPECT_EQ(IconWindow(), nullptr);
    EXPECT_TRUE(fmMain.TrayIcon->IsApplicationShown());
}

TEST_F(TTrayIconTest, MinimiseHidesToTheTrayAndRestoreBringsTheSameWindowBack) {
    struct Case {
        const char* way;
        std::function<void(TfmMain&)> restore;
    };
    const Case cases[] = {
        {"real double click on the icon", [](TfmMain&) { ASSERT_TRUE(ClickIcon(1, 2)); }},
        {"double click notification",
         [](TfmMain& fmMain) {
             Q_EMIT fmMain.TrayIcon->Icon()->activated(QSystemTrayIcon::DoubleClick);
         }},
        {"the menu's Restore",
         [](TfmMain& fmMain) { fmMain.TrayIcon->PopupMenu()->actions().at(0)->trigger(); }},
    };
    ASSERT_TRUE(TrayHost.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        TfmMain fmMain(OfflineAudio());
        ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
        const WId nativeWindow = fmMain.winId();
        // A different saved geometry shows whether the first-show handling runs again.
        fmMain.Production->FormState = {300, 300, 500, 700};
        ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));
        EXPECT_EQ(fmMain.TrayIcon->Icon()->icon().cacheKey(),
                  QApplication::windowIcon().cacheKey());
        EXPECT_TRUE(fmMain.TrayIcon->Icon()->toolTip().isEmpty());

        ASSERT_NO_FATAL_FAILURE(c.restore(fmMain));
        QSystemTrayIcon* icon = fmMain.TrayIcon->Icon();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return fmMain.isVisible() && !icon->isVisible() && IsMappedOnTheServer(fmMain); },
            WaitMs));
        EXPECT_FALSE(fmMain.isMinimized());
        EXPECT_TRUE(fmMain.TrayIcon->IsApplicationShown());
        EXPECT_EQ(fmMain.geometry(), SavedGeometry);
        EXPECT_EQ(fmMain.winId(), nativeWindow);
    }
}

TEST_F(TTrayIconTest, MaximisedWindowComesBackMaximisedFromTheTray) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    fmMain.Production->FormState.Maximized = true;
    fmMain.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&fmMain));
    ASSERT_TRUE(fmMain.isMaximized());
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));
    fmMain.TrayIcon->PopupMenu()->actions().at(0)->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return IsMappedOnTheServer(fmMain); }, WaitMs));
    EXPECT_FALSE(fmMain.isMinimized());
    EXPECT_TRUE(fmMain.isMaximized());
}

TEST_F(TTrayIconTest, MenuOffersRestoreThenExitOnARightClick) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    QMenu* pmTray = fmMain.TrayIcon->PopupMenu();
    ASSERT_EQ(pmTray->actions().size(), 2);
    EXPECT_EQ(pmTray->actions().at(0), fmMain.ActionList1->actRestore);
    EXPECT_EQ(pmTray->actions().at(1), fmMain.ActionList1->actExit);
    EXPECT_EQ(fmMain.ActionList1->actRestore->text(), QStringLiteral("Restore"));
    EXPECT_EQ(fmMain.ActionList1->actExit->text(), QStringLiteral("Exit"));
    EXPECT_EQ(pmTray->defaultAction(), nullptr);

    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));
    ASSERT_TRUE(ClickIcon(3, 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pmTray->isVisible(); }, WaitMs));
    pmTray->close();
    EXPECT_TRUE(fmMain.isHidden());
}

TEST_F(TTrayIconTest, OtherClicksOnTheIconLeaveTheWindowInTheTray) {
    struct Case {
        const char* click;
        std::function<void(QSystemTrayIcon*)> run;
    };
    const Case cases[] = {
        {"real left click", [](QSystemTrayIcon*) { ASSERT_TRUE(ClickIcon(1, 1)); }},
        {"real middle click", [](QSystemTrayIcon*) { ASSERT_TRUE(ClickIcon(2, 1)); }},
        {"single click notification",
         [](QSystemTrayIcon* icon) { Q_EMIT icon->activated(QSystemTrayIcon::Trigger); }},
        {"middle click notification",
         [](QSystemTrayIcon* icon) { Q_EMIT icon->activated(QSystemTrayIcon::MiddleClick); }},
        {"menu request notification",
         [](QSystemTrayIcon* icon) { Q_EMIT icon->activated(QSystemTrayIcon::Context); }},
    };
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.click);
        ASSERT_NO_FATAL_FAILURE(c.run(fmMain.TrayIcon->Icon()));
        // Longer than the double-click interval, so a restore would have happened by now.
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        EXPECT_TRUE(fmMain.isHidden());
        EXPECT_TRUE(fmMain.TrayIcon->Icon()->isVisible());
    }
}

// Exit from the menu and a session end both close the hidden window the normal way: the
// geometry from before the minimise is kept and the event loop ends with 0.
TEST_F(TTrayIconTest, ClosingWhileInTheTrayKeepsTheGeometryAndEndsTheEventLoop) {
    struct Case {
        const char* way;
        std::function<void(TfmMain&)> close;
    };
    const Case cases[] = {
        {"the menu's Exit",
         [](TfmMain& fmMain) { fmMain.TrayIcon->PopupMenu()->actions().at(1)->trigger(); }},
        {"session end", [](TfmMain& fmMain) { fmMain.close(); }},
    };
    ASSERT_TRUE(TrayHost.Start());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.way);
        const QRect geometry(210, 170, 700, 450);
        TfmMain fmMain(OfflineAudio());
        ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, geometry));
        ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));
        fmMain.Production->FormState = {};

        QTimer::singleShot(0, &fmMain, [&] { c.close(fmMain); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(1); });
        watchdog.start(WaitMs);
        EXPECT_EQ(QApplication::exec(), 0);

        const TFormState& state = fmMain.Production->FormState;
        EXPECT_EQ(QRect(state.Left, state.Top, state.Width, state.Height), geometry);
    }
}

// A message box that comes and goes while the window is in the tray must not end the program.
TEST_F(TTrayIconTest, MessageBoxWhileInTheTrayLeavesTheProgramRunning) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));

    constexpr int StillRunning = 7;
    QTimer::singleShot(0, &fmMain, [&] {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Trelmo"), QStringLiteral("Error."));
        QTimer::singleShot(200, &box, &QMessageBox::accept);
        box.exec();
        QTimer::singleShot(500, [] { QApplication::exit(StillRunning); });
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(1); });
    watchdog.start(WaitMs);
    EXPECT_EQ(QApplication::exec(), StillRunning);
    EXPECT_TRUE(fmMain.isHidden());
    EXPECT_TRUE(fmMain.TrayIcon->Icon()->isVisible());
}

TEST_F(TTrayIconTest, WithoutANotificationAreaMinimisingLeavesTheWindowReachable) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable()) << "a tray host runs on this display";
    TfmMain fmMain(OfflineAudio());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    fmMain.showMinimized();
    QTest::qWait(500);
    EXPECT_TRUE(fmMain.isVisible());
    EXPECT_TRUE(fmMain.isMinimized());
    EXPECT_TRUE(fmMain.TrayIcon->VisibleTaskBar());
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
    EXPECT_TRUE(IsMappedOnTheServer(fmMain));
}

TEST_F(TTrayIconTest, IconComesBackWhenTheTrayHostRestarts) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));

    ASSERT_TRUE(TrayHost.Stop());
    ASSERT_TRUE(TrayHost.Start());
    ASSERT_TRUE(WaitUntilIconIsClickable());
    EXPECT_TRUE(fmMain.isHidden());

    ASSERT_TRUE(ClickIcon(1, 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fmMain.isVisible(); }, WaitMs));
    ASSERT_TRUE(TrayHost.Stop());
    ASSERT_TRUE(TrayHost.Start());
    QTest::qWait(500);
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
    EXPECT_EQ(IconWindow(), nullptr);
}

// While the notification area is gone the window waits minimised where it can be reached,
// and goes back to the tray when the area returns.
TEST_F(TTrayIconTest, WindowStaysReachableWhileTheTrayHostIsGone) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain(OfflineAudio());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    ASSERT_NO_FATAL_FAILURE(MinimiseToTray(fmMain));

    ASSERT_TRUE(TrayHost.Stop());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fmMain.isVisible(); }, WaitMs));
    EXPECT_TRUE(fmMain.isMinimized());
    EXPECT_TRUE(fmMain.TrayIcon->VisibleTaskBar());
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());

    ASSERT_TRUE(TrayHost.Start());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fmMain.isHidden() && fmMain.TrayIcon->Icon()->isVisible(); }, WaitMs));
    ASSERT_TRUE(WaitUntilIconIsClickable());
    ASSERT_TRUE(ClickIcon(1, 2));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return fmMain.isVisible() && !fmMain.isMinimized(); }, WaitMs));
    EXPECT_EQ(fmMain.geometry(), SavedGeometry);
}

} // namespace
