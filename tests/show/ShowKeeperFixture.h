#pragma once

// The keeper's tests: a production and keeper per Open, saves through a writer that can hold
// the worker as a hung disk would.

#include "SettingsFile.h"
#include "TProduction.h"
#include "TSettingsLocation.h"
#include "TShowKeeper.h"

#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

inline constexpr int WaitMs = 20000;

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline bool Holds(const std::string& text, const std::string& description) {
    return text.find("<Description>" + description + "</Description>") != std::string::npos;
}

inline void SetShow(TProduction& production, const std::string& description) {
    production.Cues.Clear();
    auto cue = std::make_unique<TCue>();
    cue->Description = description;
    production.Cues.Add(std::move(cue));
}

// Writes like the real writer once let through; records what it was given, in order. Closed,
// it holds the worker as a hung disk would.
class TGatedWriter {
public:
    bool Write(const std::string& path, const std::string& bytes, std::string& failure) {
        {
            std::unique_lock lock(FMutex);
            FTexts.push_back(bytes);
            FChanged.notify_all();
            FChanged.wait(lock, [this] { return FOpen; });
        }
        return WriteFileAtomically(path, bytes, failure);
    }
    void SetOpen(bool open) {
        std::lock_guard lock(FMutex);
        FOpen = open;
        FChanged.notify_all();
    }
    bool WaitForCalls(size_t count) {
        std::unique_lock lock(FMutex);
        return FChanged.wait_for(lock, std::chrono::milliseconds(WaitMs),
                                 [&] { return FTexts.size() >= count; });
    }
    std::vector<std::string> Texts() {
        std::lock_guard lock(FMutex);
        return FTexts;
    }

private:
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::vector<std::string> FTexts;
    bool FOpen = true;
};

class TShowKeeperTest : public ::testing::Test {
public:
    void SetUp() override {
        ASSERT_TRUE(Dir.isValid());
        Path = Dir.filePath(QStringLiteral("Settings.xml")).toStdString();
    }
    void TearDown() override {
        Writer.SetOpen(true);
        Keepers.clear();
        Productions.clear();
    }
    // A keeper of its own production, opened on `path` (Path when empty).
    TShowKeeper& Open(const std::string& path = {}) {
        Productions.push_back(std::make_unique<TProduction>());
        Keepers.push_back(std::make_unique<TShowKeeper>(
            *Productions.back(), [this](const std::string& p, const std::string& b,
                                        std::string& f) { return Writer.Write(p, b, f); }));
        TShowKeeper& keeper = *Keepers.back();
        keeper.OnStartUpProblem = [this](const std::string& text) {
            StartUpProblems.push_back(text);
        };
        keeper.OnSaveProblem = [this](const std::string& text) { SaveProblem = text; };
        keeper.Open(TSettingsLocation{path.empty() ? Path : path, {}});
        return keeper;
    }
    TProduction& Show(size_t index = 0) { return *Productions.at(index); }
    bool SavedOnDisk(const std::string& description, const std::string& path = {}) {
        return QTest::qWaitFor(
            [&] { return Holds(ReadBytes(path.empty() ? Path : path), description); }, WaitMs);
    }

    QTemporaryDir Dir;
    std::string Path;
    TGatedWriter Writer;
    std::vector<std::unique_ptr<TProduction>> Productions;
    std::vector<std::unique_ptr<TShowKeeper>> Keepers;
    std::vector<std::string> StartUpProblems;
    std::string SaveProblem;
};
