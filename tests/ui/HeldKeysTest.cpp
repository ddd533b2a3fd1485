// GO and panic from real key events on the X server, whose key repeat is on: a held key fires
// once, and GO honours its lockout between separate presses.
#include "RunToEnd.h"
#include "TCpuLoad.h"
#include "TShowControl.h"
#include "TStageZoom.h"
#include "UiTestFixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTest>

using namespace std::chrono_literals;

namespace {

constexpr int WaitMs = 10000;

// Counts the presses of one key that the window weighs as a shortcut, repeats apart: the
// shortcut check that precedes every press climbs from the focus widget up to the window.
class TKeyCounter : public QObject {
public:
    explicit TKeyCounter(int key) : FKey(key) { qApp->installEventFilter(this); }
    int Presses = 0;
    int Repeats = 0;
    bool Released = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyRelease)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != FKey)
            return false;
        const bool atWindow = watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow();
        if (event->type() == QEvent::ShortcutOverride && atWindow)
            (key->isAutoRepeat() ? Repeats : Presses)++;
        if (event->type() == QEvent::KeyRelease && !key->isAutoRepeat())
            Released = true;
        return false;
    }

private:
    int FKey;
};

class HeldKeysTest : public UiTestFixture {
public:
    void SetUp() override {
        UiTestFixture::SetUp();
        for (const char* name : {"Rain", "Wind", "Bell"})
            AddCue(name);
        Show();
        Form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
        Form->grSounds->setFocus();
        SelectCell(1);
    }
    static bool Xdotool(const QStringList& arguments) {
        return RunToEnd(QStringLiteral("xdotool"), arguments);
    }
    // Holds `key` down until the server has repeated it `repeats` times, then lets it go.
    void Hold(const QString& key, int qtKey, int repeats = 3) {
        TKeyCounter counter(qtKey);
        ASSERT_TRUE(Xdotool({QStringLiteral("keydown"), key}));
        const bool repeated = QTest::qWaitFor([&] { return counter.Repeats >= repeats; }, WaitMs);
        ASSERT_TRUE(Xdotool({QStringLiteral("keyup"), key}));
        ASSERT_TRUE(repeated) << "the X server did not repeat the held key";
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.Released; }, WaitMs));
        EXPECT_EQ(counter.Presses, 1);
    }
    void Press(const QString& key, int qtKey) {
        TKeyCounter counter(qtKey);
        ASSERT_TRUE(Xdotool({QStringLiteral("key"), key}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.Released; }, WaitMs));
    }
    // A press and a release as the X server dates them, in milliseconds.
    void PressAt(int qtKey, ulong time) {
        qt_sendShortcutOverrideEvent(Form->grSounds, time, qtKey, Qt::NoModifier);
    }
    void ReleaseAt(int qtKey, ulong time) {
        QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier);
        release.setTimestamp(time);
        QCoreApplication::sendEvent(Form->grSounds, &release);
    }
    std::vector<TCueState> States() const {
        std::vector<TCueState> states;
        for (int32_t i = 0; i < Cues().Count(); ++i)
            states.push_back(Cues().Items(i)->State());
        return states;
    }
};

constexpr TCueState S = csStopped, P = csPlaying;

} // namespace

// With the lockout off, only the key's repeats can make a held Space fire more than once.
TEST_F(HeldKeysTest, AHeldSpaceFiresOneGo) {
    Form->Show().SetGoLockout(0ms);
    Hold(QStringLiteral("space"), Qt::Key_Space);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S}));
    EXPECT_EQ(Cues().Current(), 2);
}

TEST_F(HeldKeysTest, TwoPressesWithinTheLockoutFireOneGo) {
    Form->Show().SetGoLockout(5s);
    TKeyCounter counter(Qt::Key_Space);
    ASSERT_TRUE(Xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40"),
                         QStringLiteral("space"), QStringLiteral("space")}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return counter.Presses == 2 && counter.Released; }, WaitMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S}));
    EXPECT_EQ(Cues().Current(), 2);
}

TEST_F(HeldKeysTest, TwoPressesFartherApartThanTheLockoutFireTwoGos) {
    constexpr auto lockout = 100ms;
    Form->Show().SetGoLockout(lockout);
    Press(QStringLiteral("space"), Qt::Key_Space);
    QElapsedTimer sinceFirst;
    sinceFirst.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceFirst.elapsed() > lockout.count(); }, WaitMs));
    Press(QStringLiteral("space"), Qt::Key_Space);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S}));
    EXPECT_EQ(Cues().Current(), 3);
}

// Its repeats would be "Escape again" and stop everything at once; a new press still does. The
// panic time is long enough for the key's repeat delay and a busy machine.
TEST_F(HeldKeysTest, AHeldEscapeFadesAsOnePanic) {
    Form->Show().SetPanicTime(100);
    TCue& rain = *Cues().Items(0);
    TCue& wind = *Cues().Items(1);
    ASSERT_TRUE(rain.Play());
    ASSERT_TRUE(wind.Play());
    Hold(QStringLiteral("Escape"), Qt::Key_Escape);
    EXPECT_TRUE(rain.Fading());
    EXPECT_TRUE(wind.Fading());
    Press(QStringLiteral("Escape"), Qt::Key_Escape);
    EXPECT_TRUE(Cues().AllStopped());
}

// Qt tells a repeat by the press already waiting behind the release; on a busy machine it is not
// there yet. The server's time, the same for both, still tells it.
TEST_F(HeldKeysTest, ARepeatTakenForAPressFiresNothing) {
    Form->Show().SetGoLockout(0ms);
    PressAt(Qt::Key_Space, 1000);
    ReleaseAt(Qt::Key_Space, 1500);
    PressAt(Qt::Key_Space, 1500);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S}));
    ReleaseAt(Qt::Key_Space, 1530);
    PressAt(Qt::Key_Space, 1800);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, P, S}));
}

TEST_F(HeldKeysTest, HeldKeysFireOnceWithBothCoresBusy) {
    Form->Show().SetGoLockout(0ms);
    TCpuLoad load;
    ASSERT_TRUE(load.Running());
    Hold(QStringLiteral("ctrl+minus"), Qt::Key_Minus, 40);
    EXPECT_EQ(Form->Zoom->Scale(), 90);
    Hold(QStringLiteral("space"), Qt::Key_Space, 40);
    EXPECT_EQ(States(), (std::vector<TCueState>{P, S, S}));
}

// A held zoom key takes one step, not one per repeat.
TEST_F(HeldKeysTest, AHeldZoomKeyTakesOneStep) {
    Hold(QStringLiteral("ctrl+minus"), Qt::Key_Minus);
    EXPECT_EQ(Form->Zoom->Scale(), 90);
    EXPECT_EQ(States(), (std::vector<TCueState>{S, S, S}));
}
