#pragma once

#include <QStringList>

#include <cstdint>
#include <functional>

class TCue;
class TCueList;

// Files dragged onto the grid: the audio files among them become new cues, the others are
// named back to the operator. UI thread only.
class TDroppedFiles {
public:
    // Audio files of the kinds Trelmo plays, in the order given, and the rest.
    TDroppedFiles(const QStringList& files);

    const QStringList& Audio() const { return FAudio; }
    const QStringList& Refused() const { return FRefused; }
    // What the operator is told about the refused files; empty when there are none.
    QString RefusedText() const;

    // Inserts a cue per audio file at list position `position` (clamped to the list), in
    // order: its description the file's name without extension, every other value its default.
    // `bind` connects each new cue before it goes into the list; every cue has a UID afterwards.
    // Returns the position the first one took.
    int32_t InsertInto(TCueList& cues, int32_t position,
                       const std::function<void(TCue&)>& bind) const;

private:
    QStringList FAudio;
    QStringList FRefused;
};
