#include "TfmMain.h"

#include "SoundServerCheck.h"
#include "TAudioEngine.h"
#include "TPulseOutput.h"
#include "TestAudioFiles.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

#include <cstdlib>

namespace {

// The engine that start-up builds: on the sound server.
std::unique_ptr<TAudioEngine> PulseAudio() {
    return std::make_unique<TAudioEngine>(std::make_unique<TPulseOutput>());
}

// The main window with cues of its own, on the real sound server.
class TfmMainAudio : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SOUND_SERVER(SoundServerReachable(), "pactl info failed");
        Window = std::make_unique<TfmMain>(PulseAudio());
        const std::vector<float> tone = Sine(440, 44100, 44100 * 5);
        WriteFloatWav(Dir / "long.wav", 1, 44100, tone);
        WriteFloatWav(Dir / "short.wav", 1, 44100, Sine(440, 44100, 4410));
    }

    TCue& AddCue(const std::string& uid, const std::string& file) {
        auto cue = std::make_unique<TCue>();
        cue->UID = uid;
        cue->FileName = (Dir / file).string();
        TCue& added = *cue;
        Window->Production->Cues.Add(std::move(cue));
        return added;
    }

    // Hands an end notice to the window as the audio worker does, and lets it arrive.
    static void Notice(HSTREAM stream, uint32_t data, const std::string& uid) {
        CueEndSyncProc()(0, stream, data, const_cast<std::string*>(&uid));
        QCoreApplication::processEvents();
    }

    TTempDir Dir;
    std::unique_ptr<TfmMain> Window;
};

} // namespace

TEST_F(TfmMainAudio, ANonLoopingCueStopsAtTheEndOfItsFile) {
    TCue& cue = AddCue("1", "short.wav");
    ASSERT_TRUE(cue.Play());
    EXPECT_TRUE(QTest::qWaitFor([&] { return cue.State() == csStopped; }, 5000));
}

TEST_F(TfmMainAudio, EndNoticeStopsOnlyTheCueStillPlayingThatStream) {
    TCue& first = AddCue("1", "long.wav");
    TCue& second = AddCue("1", "long.wav");
    ASSERT_TRUE(first.Play());
    ASSERT_TRUE(second.Play());

    Notice(second.Stream(), 0, "1");
    EXPECT_EQ(first.State(), csPlaying) << "a cue with the same UID must not be stopped";
    EXPECT_EQ(second.State(), csStopped);

    const HSTREAM old = first.Stream();
    ASSERT_TRUE(first.Stop());
    ASSERT_TRUE(first.Play());
    Notice(old, 0, "1");
    EXPECT_EQ(first.State(), csPlaying) << "a notice of an earlier stream must not stop it";
    Notice(first.Stream(), 0, "1");
    EXPECT_EQ(first.State(), csStopped);
}

TEST_F(TfmMainAudio, LoopingCueIsStoppedOnlyWhenItsStreamFailed) {
    TCue& cue = AddCue("1", "short.wav");
    cue.Loop = true;
    ASSERT_TRUE(cue.Play());
    Notice(cue.Stream(), 0, "1");
    EXPECT_EQ(cue.State(), csPlaying);
    Notice(cue.Stream(), 1, "1");
    EXPECT_EQ(cue.State(), csStopped);
}

TEST_F(TfmMainAudio, NoticesQueuedWhenTheWindowGoesAreDropped) {
    TCue& cue = AddCue("1", "long.wav");
    ASSERT_TRUE(cue.Play());
    const std::string uid = "1";
    CueEndSyncProc()(0, cue.Stream(), 0, const_cast<std::string*>(&uid));
    Window.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(AudioLibrary(), nullptr);
    EXPECT_EQ(CueEndSyncProc(), nullptr);
}

TEST(TfmMainNoSoundServer, OneMessageSaysWhyNothingCanPlay) {
    TTempDir dir;
    const std::string missing = "unix:" + (dir / "no-server").string();
    const char* saved = std::getenv("PULSE_SERVER");
    const std::optional<std::string> server =
        saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("PULSE_SERVER", missing.c_str(), 1);
    QStringList texts, captions;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            captions << box->windowTitle();
            box->accept();
        }
    });
    closer.start(10);
    { TfmMain fmMain(PulseAudio()); }
    closer.stop();
    if (server)
        setenv("PULSE_SERVER", server->c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(QStringLiteral("No audio output device was found: the sound "
                                                   "server (PulseAudio or PipeWire) could not be "
                                                   "reached")))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[0].endsWith(QStringLiteral(
        "Cues cannot be played until a sound server runs. Start it; Trelmo finds it by itself, "
        "without a restart.")))
        << texts[0].toStdString();
    EXPECT_EQ(captions[0], QStringLiteral("Trelmo"));
}
