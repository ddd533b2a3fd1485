#include "TAudioLengthProbe.h"
#include "TestAudioFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace {

// Three seconds made by ffmpeg: one of tone, then silence, so that a variable bit rate varies.
std::string ThreeSeconds(const TTempDir& dir, const std::string& name, const std::string& options) {
    const std::string path = (dir / name).string();
    const std::string command = "ffmpeg -nostdin -y -loglevel error -f lavfi -i "
                                "sine=frequency=440:sample_rate=44100:duration=1 "
                                "-af apad=whole_dur=3 -ac 2 " +
                                options + " " + path + " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

} // namespace

TEST(AudioLengthProbe, TellsTheLengthOfEverySupportedFormat) {
    struct Case {
        const char* Name;
        const char* Options;
    };
    // Encoders add up to a few dozen milliseconds of padding.
    const Case cases[] = {
        {"tone.wav", ""},
        {"tone.aiff", ""},
        {"tone.mp3", "-c:a libmp3lame -q:a 4"},
        // No header that counts the frames: the bit rate alone would say 2.8 s.
        {"plain.mp3", "-c:a libmp3lame -q:a 4 -write_xing 0"},
        {"tone.ogg", "-c:a libvorbis"},
        {"tone.wma", "-c:a wmav2"},
        {"tone.flac", "-c:a flac"},
    };
    TTempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::optional<double> length =
            TAudioLengthProbe::Probe(ThreeSeconds(dir, c.Name, c.Options));
        ASSERT_TRUE(length.has_value());
        EXPECT_NEAR(*length, 3.0, 0.06);
    }
}

TEST(AudioLengthProbe, NothingForAFileWithoutAudioAMissingFileOrAFolder) {
    TTempDir dir;
    std::ofstream(dir / "words.wav") << "This is not a sound file at all, only some words.\n";
    std::ofstream(dir / "empty.mp3");
    for (const std::string& file : {(dir / "words.wav").string(), (dir / "empty.mp3").string(),
                                    (dir / "missing.wav").string(), dir.Path().string()}) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(TAudioLengthProbe::Probe(file).has_value());
    }
}
