#include "TCueLengths.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

namespace {

class TCueLengthsTest : public ::testing::Test {
protected:
    TCueLengthsTest()
        : Lengths([this](const std::string& file) -> std::optional<double> {
              ++Probes;
              if (file.ends_with("unknown.wav"))
                  return std::nullopt;
              return 2.5;
          }) {}

    std::string File(const char* name) {
        const std::string path = Dir.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(path) << "RIFF";
        return path;
    }

    // Asks for the length until the probe has answered.
    std::optional<double> Probed(const std::string& file) {
        QSignalSpy found(&Lengths, &TCueLengths::LengthFound);
        if (Lengths.Length(file))
            ADD_FAILURE() << "known before it was probed";
        EXPECT_TRUE(found.wait(5000));
        return Lengths.Length(file);
    }

    QTemporaryDir Dir;
    std::atomic<int> Probes = 0;
    TCueLengths Lengths;
};

} // namespace

TEST_F(TCueLengthsTest, AFileIsProbedOnceUntilItChanges) {
    const std::string file = File("rain.wav");
    EXPECT_EQ(Probed(file), 2.5);
    EXPECT_EQ(Lengths.Length(file), 2.5);
    EXPECT_EQ(Probes, 1) << "the cached length is used";

    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) +
                                               std::chrono::seconds(2));
    EXPECT_EQ(Probed(file), 2.5);
    EXPECT_EQ(Probes, 2) << "a changed file is probed again";
}

TEST_F(TCueLengthsTest, UnknownLengthsAreKeptAndMissingFilesNotProbed) {
    const std::string unknown = File("unknown.wav");
    EXPECT_EQ(Probed(unknown), std::nullopt);
    EXPECT_EQ(Lengths.Length(unknown), std::nullopt);
    EXPECT_EQ(Probes, 1);
    for (const std::string& file : {Dir.filePath(QStringLiteral("missing.wav")).toStdString(),
                                    Dir.path().toStdString(), std::string()})
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
