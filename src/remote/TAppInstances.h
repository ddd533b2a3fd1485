#pragma once

#include "TFrame.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;
class TInstanceRegistry;
class TReceiverConnection;

// The single-instance component: registers the process, decides at start-up whether this
// launch runs or hands its arguments to the running instance, and from then on receives what
// later launches send. The receiver listens on a socket named by the process id; it runs
// wherever the event loop runs, also inside modal dialogs. UI thread only.
class TAppInstances : public QObject {
    Q_OBJECT

public:
    // Makes the receiver socket and registers the process in registry, unless a component did
    // so already. Needs no QCoreApplication; throws std::runtime_error when the socket cannot
    // be made.
    explicit TAppInstances(TInstanceRegistry& registry, QObject* parent = nullptr);
    ~TAppInstances() override;

    bool Active = true;
    bool AutoActivate = true;
    int32_t MaxInstances = 1;
    bool SendCmdLine = true;

    std::function<void(uint32_t processId)> OnInstanceCreated;
    std::function<void(uint32_t processId)> OnInstanceDestroyed;
    std::function<void(int32_t param)> OnUserNotify;
    std::function<void(int32_t kind, const char* data, int32_t size)> OnDataAvailable;
    std::function<void(const std::vector<std::string>& cmdLine)> OnCmdLineReceived;
    std::function<void()> OnRejected;
    // The text of an error that left an event handler, for the operator's error box.
    std::function<void(const std::string& message)> OnError;

    // The start-up check: true when this launch runs; false when it has been rejected and
    // has forwarded arguments (if SendCmdLine), so the caller releases the registry and ends.
    bool CheckLaunch(const std::vector<std::string>& arguments);
    bool PollOthersActive();
    // Starts serving the socket; needs the QCoreApplication. Until then peers wait in the
    // socket's backlog.
    void StartReceiving();

    static std::vector<std::string> SplitLines(std::string_view payload);

private:
    void AcceptConnections();
    void HandleFrame(TReceiverConnection& connection, const TFrame& frame);
    void HandleNotice(TReceiverConnection& connection, const TFrame& frame);
    void HandleData(TReceiverConnection& connection, const TFrame& frame);
    void RaiseGuarded(const std::function<void()>& raise, TReceiverConnection* connection,
                      const TFrame& reply);

    TInstanceRegistry& FRegistry;
    std::string FSocketPath;
    int FSocket = -1;
    QSocketNotifier* FNotifier = nullptr;
    // Processes that did not answer the poll in time; the forwarding leaves them out.
    std::vector<uint32_t> FUnresponsive;
};
