#pragma once

#include "TFrame.h"
#include "TReceiverSocket.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTimer;
class TReceiverConnection;

// The single-instance component of the running instance: receives what later launches send
// (the start-up check itself is TLaunchCheck's, made before Qt is loaded). It serves the
// process's receiver socket wherever the event loop runs, also inside modal dialogs. It keeps
// no reference to the registry. UI thread only.
class TAppInstances : public QObject {
    Q_OBJECT

public:
    // Takes over receiver, the socket of processId made by the start-up check. Needs no
    // QCoreApplication.
    TAppInstances(TReceiverSocket receiver, uint32_t processId, QObject* parent = nullptr);
    ~TAppInstances() override;

    // The answer given to launches that ask whether this component is active.
    bool Active = true;
    // Data messages dropped because they arrived past their deadline.
    int64_t LateMessages = 0;

    std::function<void(uint32_t processId)> OnInstanceCreated;
    std::function<void(uint32_t processId)> OnInstanceDestroyed;
    std::function<void(int32_t param)> OnUserNotify;
    std::function<void(int32_t kind, const char* data, int32_t size)> OnDataAvailable;
    std::function<void(const std::vector<std::string>& cmdLine)> OnCmdLineReceived;
    // The text of an error that left an event handler, for the operator's error box.
    std::function<void(const std::string& message)> OnError;

    // Starts serving the socket; needs the QCoreApplication. Until then peers wait in the
    // socket's backlog.
    void StartReceiving();

    static std::vector<std::string> SplitLines(std::string_view payload);

    // Argument lists carried out in one turn of the event loop at most; the rest wait for the next.
    static constexpr int32_t BatchSize = 8;
    // How long accepting pauses when the process has no file descriptor left.
    static constexpr int AcceptPauseMs = 200;
    // Whether the socket is served now; not while accepting pauses.
    bool Accepting() const;

private:
    void AcceptConnections();
    void PauseAccepting();
    void RunCmdLine(std::vector<std::string> lines);
    void EndTurnLater();
    void EndTurn();
    void Accept(int socket);
    void HandleFrame(TReceiverConnection& connection, const TFrame& frame);
    void HandleNotice(TReceiverConnection& connection, const TFrame& frame);
    void HandleData(TReceiverConnection& connection, const TFrame& frame);
    void RaiseGuarded(const std::function<void()>& raise, TReceiverConnection* connection,
                      const TFrame& reply);

    TReceiverSocket FReceiver;
    uint32_t FProcessId;
    QSocketNotifier* FNotifier = nullptr;
    QTimer* FAcceptPause = nullptr;
    // Taken argument lists beyond this turn's batch, in arrival order.
    std::deque<std::vector<std::string>> FPendingLists;
    int32_t FRunThisTurn = 0;
    bool FTurnEndPosted = false;
};
