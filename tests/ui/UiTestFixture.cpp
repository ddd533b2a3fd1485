#include "UiTestFixture.h"

#include <QTest>

#include <fstream>
#include <iterator>

void UiTestFixture::SetUp() {
    ASSERT_TRUE(Dir.isValid());
    DialogRequests.clear();
    DialogAnswer.reset();
    DialogFiles.clear();
    Errors.clear();
    Questions.clear();
    CloseAnswer = false;
    Form = std::make_unique<TfmMain>(OfflineAudio());
    // The cues play on the fake library, not on the window's sound engine.
    SetAudioLibrary(&Audio);
    // Each test starts from an empty list, whatever settings file lies next to the program.
    Form->Production->Cues.Clear();
    // A close must never leave a settings file where other tests would read it.
    Form->Production->FileName = Dir.filePath(QStringLiteral("Settings.xml")).toStdString();
    Form->OpenFileDialog = [this](const TOpenFileRequest& request) {
        DialogRequests.push_back(request);
        if (request.MultipleFiles)
            return DialogFiles;
        return DialogAnswer ? QStringList{*DialogAnswer} : QStringList{};
    };
    Form->ErrorBox = [this](const QString& text) { Errors << text; };
    Form->ConfirmClose = [this](const QString& question) {
        Questions << question;
        return CloseAnswer;
    };
}

void UiTestFixture::TearDown() {
    Form.reset();
}

std::string UiTestFixture::AudioFile(const std::string& name) const {
    return Dir.filePath(QString::fromStdString(name)).toStdString();
}

TCue& UiTestFixture::AddCue(const std::string& description, bool withFile) {
    auto cue = std::make_unique<TCue>();
    cue->Description = description;
    if (withFile) {
        cue->FileName = AudioFile(description + ".wav");
        std::ofstream(cue->FileName) << "RIFF";
    }
    Form->BindCueStateChange(*cue);
    TCue& added = *cue;
    Cues().Add(std::move(cue));
    Cues().AssignMissingUIDs();
    return added;
}

void UiTestFixture::Show() {
    Form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
}

QModelIndex UiTestFixture::Cell(int32_t row, int col) const {
    return Model().index(row - 1, col);
}

void UiTestFixture::SelectCell(int32_t row, int col) {
    Form->grSounds->setCurrentIndex(Cell(row, col));
}

std::vector<std::string> UiTestFixture::Descriptions() const {
    std::vector<std::string> result;
    for (int32_t i = 0; i < Cues().Count(); ++i)
        result.push_back(Cues().Items(i)->Description);
    return result;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
