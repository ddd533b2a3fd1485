#include "TTrayIcon.h"
#include "TfmMain.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
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

// Clicks the docked icon with the real pointer.
bool ClickIcon(int button, int count) {
    const QWidget* window = IconWindow();
    return window &&
           RunTool(QStringLiteral("xdotool"),
                   {QStringLiteral("mousemove"), QStringLiteral("--sync"),
                    QStringLiteral("--window"), QString::number(window->winId()),
                    QString::number(window->width() / 2), QString::number(window->height() / 2),
                    QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(count),
                    QStringLiteral("--delay"), QStringLiteral("80"), QString::number(button)})
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
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return fmMain.isHidden() && icon->isVisible() && IconIsDocked(); }, WaitMs));
        EXPECT_FALSE(fmMain.TrayIcon->VisibleTaskBar());
        EXPECT_FALSE(IsMappedOnTheServer(fmMain));
    }

    TTrayHost TrayHost;
};

const QRect SavedGeometry(130, 150, 640, 420);

TEST_F(TTrayIconTest, ShownWindowHasNoIcon) {
    ASSERT_TRUE(TrayHost.Start());
    TfmMain fmMain;
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
    ASSERT_NO_FATAL_FAILURE(ShowAt(fmMain, SavedGeometry));
    QTest::qWait(200);
    EXPECT_FALSE(fmMain.TrayIcon->Icon()->isVisible());
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
        TfmMain fmMain;
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

} // namespace
