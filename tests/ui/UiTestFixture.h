#pragma once

#include "FakeAudioLibrary.h"
#include "OfflineAudio.h"
#include "TCueGrid.h"
#include "TOpenFileRequest.h"
#include "TfmMain.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// The whole file as bytes; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// A real main window whose cues play through a fake audio library, whose file dialog and close
// question are answered by the test and whose error boxes are recorded.
class UiTestFixture : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // Appends a cue bound to the window; with a file, an empty .wav is created for it.
    TCue& AddCue(const std::string& description, bool withFile = true);
    std::string AudioFile(const std::string& name) const;
    void Show();
    void SelectCell(int32_t row, int col = ccDescription);
    QModelIndex Cell(int32_t row, int col) const;
    std::vector<std::string> Descriptions() const;
    TCueList& Cues() const { return Form->Production->Cues; }
    TCueGridModel& Model() const { return *Form->grSounds->Model(); }

    FakeAudioLibrary Audio;
    QTemporaryDir Dir;
    std::unique_ptr<TfmMain> Form;
    std::vector<TOpenFileRequest> DialogRequests;
    // The file chosen in a single-file dialog; none: cancelled.
    std::optional<QString> DialogAnswer;
    // The files chosen in a multiple-file dialog; none: cancelled.
    QStringList DialogFiles;
    QStringList Errors;
    QStringList Questions;
    bool CloseAnswer = false;
};
