#include "AudioFileType.h"

#include <gtest/gtest.h>

TEST(GetAudioFileType, ExtensionTable) {
    const std::pair<const char*, TAudioFileType> cases[] = {
        {"/show/a.aiff", aftAiff}, {"a.AIFF", aftAiff},       {"a.aif", aftUnknown},
        {"a.avi", aftAvi},         {"a.FlAc", aftFlac},       {"a.m4a", aftM4a},
        {"a.mid", aftMid},         {"a.mov", aftMov},         {"song.MP3", aftMp3},
        {"a.mpg", aftMpg},         {"a.ogg", aftOgg},         {"a.wav", aftWav},
        {"a.wma", aftWma},         {"a.wmv", aftWmv},         {"noext", aftUnknown},
        {"", aftUnknown},          {"a.wav.txt", aftUnknown}, {"/dir.wav/file", aftUnknown},
        {".wav", aftWav},          {"a.", aftUnknown},
    };
    for (const auto& [name, type] : cases)
        EXPECT_EQ(GetAudioFileType(name), type) << name;
}

TEST(DBToVolume, IsLinearInDecibels) {
    EXPECT_FLOAT_EQ(DBToVolume(-60), 0.0f);
    EXPECT_FLOAT_EQ(DBToVolume(-30), 0.5f);
    EXPECT_FLOAT_EQ(DBToVolume(-6), 0.9f);
    EXPECT_FLOAT_EQ(DBToVolume(0), 1.0f);
}
