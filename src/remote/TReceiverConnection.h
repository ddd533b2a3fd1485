#pragma once

#include "TFrame.h"

#include <QObject>
#include <QTimer>

#include <functional>

class QSocketNotifier;

// One accepted connection to the receiver: reads one frame without ever blocking, hands it
// on and closes. A peer that sends a malformed or truncated frame, or nothing within the time
// limit, is dropped. Deletes itself when done. UI thread only.
class TReceiverConnection : public QObject {
    Q_OBJECT

public:
    static constexpr int TimeLimitMs = 2000;

    // Takes over socket, an accepted non-blocking connection.
    TReceiverConnection(int socket,
                        std::function<void(TReceiverConnection&, const TFrame&)> onFrame,
                        QObject* parent);
    ~TReceiverConnection() override;

    // Answers the peer without waiting; a peer that does not take it misses it.
    void Reply(const TFrame& frame);
    // Reads what has arrived; called by the socket's notifier, and may be called at once.
    void ReadAvailable();

private:
    void Finish();

    int FSocket;
    std::function<void(TReceiverConnection&, const TFrame&)> FOnFrame;
    QSocketNotifier* FNotifier;
    QTimer FTimeLimit;
    TFrameReader FReader;
};
