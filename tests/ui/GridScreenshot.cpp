// Saves a picture of the main window: ui_screenshot <file.png> [scene]
//   window   a few cues, one playing and one paused (the default)
//   editing  the same, with the volume of a stopped cue being edited
//   empty    the first start: no cues
#include "FakeAudioLibrary.h"
#include "OfflineAudio.h"
#include "TCueGrid.h"
#include "TfmMain.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <iostream>
#include <span>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString scene = argc == 3 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("window");
    const QStringList scenes{QStringLiteral("window"), QStringLiteral("editing"),
                             QStringLiteral("empty")};
    if (argc < 2 || argc > 3 || !scenes.contains(scene)) {
        std::cerr << "usage: ui_screenshot <file.png> [window|editing|empty]\n";
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
    };
    const Row rows[] = {{"Pre-show music", -6, 0, 100, 1, true},
                        {"Thunder", -12, -40, 100, 2, false},
                        {"Door bell", 0, 100, 110, 1, false},
                        {"Rain (long)", -20, 0, 95, 2, true}};
    for (const Row& r : scene == QStringLiteral("empty") ? std::span<const Row>() : rows) {
        auto cue = std::make_unique<TCue>();
        cue->Description = r.Description;
        cue->FileName = dir.filePath(QString::fromLatin1(r.Description) + ".wav").toStdString();
        std::ofstream(cue->FileName) << "RIFF";
        cue->SetVolumeDB(r.Volume);
        cue->SetPan(r.Pan);
        cue->SetPitch(r.Pitch);
        cue->SetAudioChannel(r.Output);
        cue->Loop = r.Loop;
        fmMain.BindCueStateChange(*cue);
        fmMain.Production->Cues.Add(std::move(cue));
    }
    fmMain.Production->Cues.AssignMissingUIDs();
    fmMain.show();
    if (!QTest::qWaitForWindowExposed(&fmMain))
        return 1;
    if (scene != QStringLiteral("empty")) {
        fmMain.Production->Cues.Items(0)->Play();
        fmMain.Production->Cues.Items(3)->Play();
        fmMain.Production->Cues.Items(3)->Pause();
        fmMain.grSounds->setCurrentIndex(fmMain.grSounds->Model()->index(0, 0));
    }
    if (scene == QStringLiteral("editing")) {
        const QModelIndex volume = fmMain.grSounds->Model()->index(1, ccVolume);
        fmMain.grSounds->setCurrentIndex(volume);
        fmMain.grSounds->edit(volume);
    }
    QTest::qWait(200);
    return fmMain.grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
