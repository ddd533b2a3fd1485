#include "TCueLengths.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <mutex>

namespace {

// Holds every look at the file system until opened, as a hung network mount would.
class TGate {
public:
    void Close() {
        const std::lock_guard lock(FMutex);
        FOpen = false;
    }
    void Open() {
        const std::lock_guard lock(FMutex);
        FOpen = true;
        FOpened.notify_all();
    }
    void Pass() {
        std::unique_lock lock(FMutex);
        // Bounded, so a test that forgets to open never hangs the run.
        FOpened.wait_for(lock, std::chrono::seconds(20), [this] { return FOpen; });
    }

private:
    std::mutex FMutex;
    std::condition_variable FOpened;
    bool FOpen = true;
};

class TCueLengthsTest : public ::testing::Test {
protected:
    TCueLengthsTest()
        : Lengths(
              [this](const std::string& file) -> std::optional<double> {
                  ++Probes;
                  if (file.ends_with("unknown.wav"))
                      return std::nullopt;
                  return 2.5;
              },
              [this](const std::string& file) {
                  ++Looks;
                  if (QThread::currentThread() == UiThread)
                      ++LooksOnUiThread;
                  Gate.Pass();
                  return TCueLengths::Stat(file);
              }) {}

    std::string File(const char* name) {
        const std::string path = Path(name);
        std::ofstream(path) << "RIFF";
        return path;
    }
    std::string Path(const char* name) const {
        return Dir.filePath(QString::fromLatin1(name)).toStdString();
    }

    // Asks for the length until the probe has answered.
    std::optional<double> Probed(const std::string& file) {
        QSignalSpy found(&Lengths, &TCueLengths::LengthFound);
        if (Lengths.Length(file))
            ADD_FAILURE() << "known before it was probed";
        EXPECT_TRUE(found.wait(5000));
        return Lengths.Length(file);
    }

    // Looks at the file again and waits until the look has ended.
    void Recheck(const std::string& file) {
        Lengths.Check(file);
        EXPECT_TRUE(Lengths.WaitForProbes(5000));
        QCoreApplication::processEvents();
    }

    QTemporaryDir Dir;
    QThread* UiThread = QThread::currentThread();
    TGate Gate;
    std::atomic<int> Probes = 0;
    std::atomic<int> Looks = 0;
    std::atomic<int> LooksOnUiThread = 0;
    TCueLengths Lengths;
};

} // namespace

TEST_F(TCueLengthsTest, AFileIsProbedOnceUntilItChanges) {
    const std::string file = File("rain.wav");
    EXPECT_EQ(Probed(file), 2.5);
    EXPECT_EQ(Lengths.Length(file), 2.5);
    EXPECT_EQ(Probes, 1) << "the cached length is used";

    Recheck(file);
    EXPECT_EQ(Probes, 1) << "an unchanged file is not probed again";

    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) +
                                               std::chrono::seconds(2));
    Recheck(file);
    EXPECT_EQ(Lengths.Length(file), 2.5);
    EXPECT_EQ(Probes, 2) << "a changed file is probed again";
}

TEST_F(TCueLengthsTest, UnknownLengthsAreKeptAndMissingFilesNotProbed) {
    const std::string unknown = File("unknown.wav");
    EXPECT_EQ(Probed(unknown), std::nullopt);
    EXPECT_EQ(Lengths.Length(unknown), std::nullopt);
    EXPECT_EQ(Probes, 1);
    for (const std::string& file : {Path("missing.wav"), Dir.path().toStdString(), std::string()})
        EXPECT_EQ(Lengths.Length(file), std::nullopt);
    EXPECT_TRUE(Lengths.WaitForProbes(5000));
    EXPECT_EQ(Probes, 1) << "nothing to probe";
}

TEST_F(TCueLengthsTest, AFileAskedForWhileItIsProbedIsProbedOnce) {
    const std::string file = File("wind.wav");
    QSignalSpy found(&Lengths, &TCueLengths::LengthFound);
    EXPECT_EQ(Lengths.Length(file), std::nullopt);
    EXPECT_EQ(Lengths.Length(file), std::nullopt);
    ASSERT_TRUE(found.wait(5000));
    EXPECT_EQ(Lengths.Length(file), 2.5);
    EXPECT_EQ(Probes, 1);
}

// What is asked for is answered from what the last look found; the file system is looked at only
// on the pool's thread, so a file that comes or goes is seen only after a look.
TEST_F(TCueLengthsTest, AFileThatAppearsOrGoesIsSeenAfterTheNextLook) {
    const std::string file = Path("door.wav");
    EXPECT_EQ(Lengths.Exists(file), std::nullopt) << "not looked at yet";
    EXPECT_TRUE(Lengths.WaitForProbes(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Lengths.Exists(file), false);

    File("door.wav");
    EXPECT_EQ(Lengths.Exists(file), false) << "answered from the last look";
    QSignalSpy found(&Lengths, &TCueLengths::LengthFound);
    Recheck(file);
    EXPECT_EQ(found.size(), 1);
    EXPECT_EQ(Lengths.Exists(file), true);
    EXPECT_EQ(Lengths.Length(file), 2.5);

    std::filesystem::remove(file);
    EXPECT_EQ(Lengths.Exists(file), true) << "answered from the last look";
    Recheck(file);
    EXPECT_EQ(found.size(), 2);
    EXPECT_EQ(Lengths.Exists(file), false);
    EXPECT_EQ(Lengths.Length(file), std::nullopt);

    Recheck(file);
    EXPECT_EQ(found.size(), 2) << "a look that finds nothing new is not reported";
    EXPECT_EQ(LooksOnUiThread, 0);
}

TEST_F(TCueLengthsTest, AHungFileSystemNeverHoldsTheCaller) {
    const std::string file = File("thunder.wav");
    Gate.Close();
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(Lengths.Length(file), std::nullopt);
        EXPECT_EQ(Lengths.Exists(file), std::nullopt);
        Lengths.Check(file);
    }
    EXPECT_FALSE(Lengths.WaitForProbes(50)) << "the look is held at the gate";
    Gate.Open();
    EXPECT_TRUE(Lengths.WaitForProbes(5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Lengths.Exists(file), true);
    EXPECT_EQ(Looks, 1) << "one look at a time per file";
    EXPECT_EQ(LooksOnUiThread, 0);
}
