// Saves a picture of the main window: ui_screenshot <file.png> [scene]
//   window   a few cues, one playing and one paused (the default)
//   editing  the same, with the volume of a stopped cue being edited
//   empty    the first start: no cues
//   running  a few cues as in window, with the running cues and GO shown beside the grid
#include "FakeAudioLibrary.h"
#include "OfflineAudio.h"
#include "TCueGrid.h"
#include "TestAudioFiles.h"
#include "TfmMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <iostream>
#include <span>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString scene = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("window");
    const QStringList scenes{QStringLiteral("window"), QStringLiteral("editing"),
                             QStringLiteral("empty"), QStringLiteral("running")};
    if (argc < 2 || argc > 3 || !scenes.contains(scene)) {
        std::cerr << "usage: ui_screenshot <file.png> [window|editing|empty|running]\n";
        return 2;
    }
    FakeAudioLibrary audio;
    QTemporaryDir dir;
    TfmMain fmMain(OfflineAudio());
    SetAudioLibrary(&audio);
    fmMain.Production->Cues.Clear();
    fmMain.Production->FileName = dir.filePath(QStringLiteral("Settings.xml")).toStdString();
    struct Row {
        const char* Description;
        int32_t Volume, Pan, Pitch, Output;
        bool Loop;
        int32_t FadeIn, FadeOut; // tenths of a second
        double Seconds;
    };
    const Row rows[] = {{"Pre-show music", -6, 0, 100, 1, false, 30, 50, 94.2},
                        {"Thunder", -12, -40, 100, 2, false, 0, 20, 7.6},
                        {"Door bell", 0, 100, 110, 1, false, 0, 0, 2.3},
                        {"Rain (long)", -20, 0, 95, 2, true, 50, 100, 61.0}};
    for (const Row& r : scene == QStringLiteral("empty") ? std::span<const Row>() : rows) {
        auto cue = std::make_unique<TCue>();
        cue->Description = r.Description;
        cue->FileName = dir.filePath(QString::fromLatin1(r.Description) + ".wav").toStdString();
        // Quiet, mono and at a low rate: only the length shows.
        constexpr int Rate = 8000;
        WriteFloatWav(cue->FileName, 1, Rate,
                      Sine(440, Rate, static_cast<size_t>(r.Seconds * Rate), 0.01f));
        cue->SetVolumeDB(r.Volume);
        cue->SetPan(r.Pan);
        cue->SetPitch(r.Pitch);
        cue->SetAudioChannel(r.Output);
        cue->Loop = r.Loop;
        cue->SetFadeIn(r.FadeIn);
        cue->SetFadeOut(r.FadeOut);
        fmMain.BindCueStateChange(*cue);
        fmMain.Production->Cues.Add(std::move(cue));
    }
    fmMain.Production->Cues.AssignMissingUIDs();
    fmMain.show();
    if (!QTest::qWaitForWindowExposed(&fmMain))
        return 1;
    // The cues wide enough for every column; the first start as it opens.
    if (scene != QStringLiteral("empty"))
        fmMain.resize(900, 400);
    if (scene == QStringLiteral("running")) {
        fmMain.actRunningCues->setChecked(true);
        fmMain.resize(1300, 420);
    }
    if (scene != QStringLiteral("empty")) {
        fmMain.Production->Cues.Items(0)->Play();
        fmMain.Production->Cues.Items(3)->Play();
        fmMain.Production->Cues.Items(3)->Pause();
        // Part-way through, cue 1 sounding.
        const TCue& music = *fmMain.Production->Cues.Items(0);
        const TCue& rain = *fmMain.Production->Cues.Items(3);
        audio.Positions[music.Stream()] = {72.5, 1};
        audio.Levels[music.Stream()] = 0.6f;
        audio.Positions[rain.Stream()] = {18.0, 0.95};
        fmMain.grSounds->setCurrentIndex(fmMain.grSounds->Model()->index(0, 0));
    }
    if (scene == QStringLiteral("editing")) {
        const QModelIndex volume = fmMain.grSounds->Model()->index(1, ccVolume);
        fmMain.grSounds->setCurrentIndex(volume);
        fmMain.grSounds->edit(volume);
    }
    const QModelIndex lastLength = fmMain.grSounds->Model()->index(2, ccTime);
    if (scene != QStringLiteral("empty") &&
        !QTest::qWaitFor([&] { return !lastLength.data().toString().isEmpty(); }))
        return 1;
    QTest::qWait(200);
    return fmMain.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
