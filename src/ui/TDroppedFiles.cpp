#include "TDroppedFiles.h"

#include "AudioFileType.h"
#include "TCueList.h"

#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace {
// The kinds of file that open as a stream.
bool Playable(const QString& file) {
    switch (GetAudioFileType(file.toStdString())) {
    case aftAiff:
    case aftFlac:
    case aftMp3:
    case aftOgg:
    case aftWav:
    case aftWma:
        return true;
    default:
        return false;
    }
}
} // namespace

TDroppedFiles::TDroppedFiles(const QStringList& files) {
    for (const QString& file : files) {
        if (Playable(file) && !QFileInfo(file).isDir())
            FAudio << file;
        else
            FRefused << file;
    }
}

QString TDroppedFiles::RefusedText() const {
    if (FRefused.isEmpty())
        return {};
    QStringList names;
    for (const QString& file : FRefused)
        names << QFileInfo(file).fileName();
    return QStringLiteral("Not added, as Trelmo plays only WAV, AIFF, MP3, OGG, WMA and FLAC "
                          "files: ") +
           names.join(QStringLiteral(", "));
}

int32_t TDroppedFiles::InsertInto(TCueList& cues, int32_t position,
                                  const std::function<void(TCue&)>& bind) const {
    const int32_t first = std::clamp(position, 0, cues.Count());
    int32_t at = first;
    for (const QString& file : FAudio) {
        auto cue = std::make_unique<TCue>();
        cue->Description = QFileInfo(file).completeBaseName().toStdString();
        cue->FileName = file.toStdString();
        if (bind)
            bind(*cue);
        cues.Insert(at++, std::move(cue));
    }
    cues.AssignMissingUIDs();
    return first;
}
