#pragma once

#include "TAudioOutput.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

// The outputs as the grid names them: "2 · USB Audio Interface" for one that is there, a plain
// mark for one that is not. Read again from the sound engine when it reports a change, never
// on a paint. UI thread only.
class TOutputNames : public QObject {
    Q_OBJECT

public:
    using TSource = std::function<std::vector<TOutputDevice>()>;
    // The outputs a cue can name.
    static constexpr int32_t Highest = 4;

    using QObject::QObject;

    // Where the outputs come from; read at once.
    void SetSource(TSource source);
    // Reads the outputs again.
    void Refresh();

    // The Output cell of a cue set to `number`.
    QString Text(int32_t number) const;
    // Why cues set to output `number` do not play there; empty while it is there or while no
    // output is known.
    QString MissingText(int32_t number) const;
    // The drop-down's entries, by number: the outputs that are there, and `current` in any case.
    std::vector<std::pair<int32_t, QString>> Choices(int32_t current) const;

Q_SIGNALS:
    void Changed();

private:
    bool Present(int32_t number) const;

    TSource FSource;
    std::vector<TOutputDevice> FDevices;
};
