#pragma once

#include "TAudioLibrary.h"
#include "TPeakMeter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>
#include <utility>

class TCueGridModel;

// Redraws the Time cells of the cues that play or wait to start, about 25 times a second, and
// keeps their level meters; stops as soon as nothing plays or waits and every meter has fallen,
// so an idle window does no work at all. UI thread only.
class TPlaybackRefresh : public QObject {
    Q_OBJECT

public:
    static constexpr int IntervalMs = 40;

    TPlaybackRefresh(TCueGridModel& model, QObject* parent = nullptr);

    // A cue may have started or stopped: runs while there is anything to show.
    void Wake();
    bool Running() const { return FTimer.isActive(); }
    // The meter of a stream, 0 to 1; 0 when it shows nothing.
    double Level(HSTREAM stream) const;
    // The meters of each side of a stream, 0 to 1; 0 when they show nothing.
    std::pair<double, double> Levels(HSTREAM stream) const;

Q_SIGNALS:
    // The meters and times have moved on: whatever else shows them redraws now.
    void Ticked();

private:
    // The grid's one meter and the two of the sides.
    struct TStreamMeters {
        TPeakMeter Mono, Left, Right;
    };
    void Tick();

    TCueGridModel& FModel;
    QTimer FTimer;
    QElapsedTimer FClock;
    std::map<HSTREAM, TStreamMeters> FMeters;
};
