#include "TAppInstances.h"

#include "TReceiverConnection.h"
#include "TextRules.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

TAppInstances::TAppInstances(TReceiverSocket receiver, uint32_t processId, QObject* parent)
    : QObject(parent), FReceiver(std::move(receiver)), FProcessId(processId) {}

TAppInstances::~TAppInstances() = default;

void TAppInstances::StartReceiving() {
    if (FNotifier)
        return;
    FNotifier = new QSocketNotifier(FReceiver.Socket(), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TAppInstances::AcceptConnections);
    FAcceptPause = new QTimer(this);
    FAcceptPause->setSingleShot(true);
    FAcceptPause->setInterval(AcceptPauseMs);
    connect(FAcceptPause, &QTimer::timeout, this, [this] {
        FNotifier->setEnabled(true);
        AcceptConnections();
    });
    AcceptConnections();
}

bool TAppInstances::Accepting() const {
    return FNotifier && FNotifier->isEnabled();
}

void TAppInstances::AcceptConnections() {
    for (;;) {
        const int socket =
            ::accept4(FReceiver.Socket(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket >= 0)
            Accept(socket);
        else if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
            return PauseAccepting();
        else if (errno != EINTR && errno != ECONNABORTED)
            return;
    }
}

// The waiting peer keeps the socket readable: serving it now would only spin. Idle peers are
// dropped after their time limit, which frees descriptors for the next try.
void TAppInstances::PauseAccepting() {
    FNotifier->setEnabled(false);
    FAcceptPause->start();
}

void TAppInstances::Accept(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        peer.uid != ::geteuid()) {
        ::close(socket);
        return;
    }
    auto* accepted = new TReceiverConnection(
        socket,
        [this](TReceiverConnection& connection, const TFrame& frame) {
            HandleFrame(connection, frame);
        },
        this);
    // A launch writes its frame right after connecting: mostly it is there already.
    accepted->ReadAvailable();
}

void TAppInstances::HandleFrame(TReceiverConnection& connection, const TFrame& frame) {
    if (frame.Type == TFrameType::Notice)
        HandleNotice(connection, frame);
    else if (frame.Type == TFrameType::Data)
        HandleData(connection, frame);
}

void TAppInstances::HandleNotice(TReceiverConnection& connection, const TFrame& frame) {
    const auto processId = static_cast<uint32_t>(frame.Value);
    switch (frame.Kind) {
    case 1:
        if (processId != FProcessId && OnInstanceCreated)
            RaiseGuarded([&] { OnInstanceCreated(processId); }, nullptr, {});
        break;
    case 2:
        if (OnInstanceDestroyed)
            RaiseGuarded([&] { OnInstanceDestroyed(processId); }, nullptr, {});
        break;
    case 3:
        if (OnUserNotify)
            RaiseGuarded([&] { OnUserNotify(frame.Value); }, nullptr, {});
        break;
    case 4:
        connection.Reply({TFrameType::Notice, 5, Active ? 1 : 0, {}});
        break;
    // An answer (kind 5) is taken only as the reply on the connection that asked; one that
    // arrives on its own is nobody's answer.
    default:
        break;
    }
}

void TAppInstances::HandleData(TReceiverConnection& connection, const TFrame& frame) {
    // Its sender has given up on it and said that it was not carried out.
    if (frame.PastDeadline()) {
        ++LateMessages;
        connection.Reply({TFrameType::Reply, 0, 0, {}});
        return;
    }
    if (static_cast<uint32_t>(frame.Value) == FProcessId) {
        connection.Reply({TFrameType::Reply, 0, 0, {}});
        return;
    }
    const TFrame taken{TFrameType::Reply, 0, 1, {}};
    if (frame.Kind == 1 && OnCmdLineReceived) {
        connection.Reply(taken);
        RunCmdLine(SplitLines(frame.Payload));
    } else if (frame.Kind != 1 && OnDataAvailable) {
        const std::string data = frame.Payload;
        RaiseGuarded(
            [&] { OnDataAvailable(frame.Kind, data.data(), static_cast<int32_t>(data.size())); },
            &connection, taken);
    } else {
        connection.Reply(taken);
    }
}

// Carries out lines now while this turn's batch has room and nothing older waits, else after.
void TAppInstances::RunCmdLine(std::vector<std::string> lines) {
    if (!FPendingLists.empty() || FRunThisTurn >= BatchSize) {
        FPendingLists.push_back(std::move(lines));
    } else {
        ++FRunThisTurn;
        RaiseGuarded([&] { OnCmdLineReceived(lines); }, nullptr, {});
    }
    EndTurnLater();
}

void TAppInstances::EndTurnLater() {
    if (!std::exchange(FTurnEndPosted, true))
        QMetaObject::invokeMethod(this, &TAppInstances::EndTurn, Qt::QueuedConnection);
}

// A turn of the event loop has passed: the next batch of waiting lists runs.
void TAppInstances::EndTurn() {
    FTurnEndPosted = false;
    FRunThisTurn = 0;
    while (!FPendingLists.empty() && FRunThisTurn < BatchSize) {
        ++FRunThisTurn;
        const std::vector<std::string> lines = std::move(FPendingLists.front());
        FPendingLists.pop_front();
        if (OnCmdLineReceived)
            RaiseGuarded([&] { OnCmdLineReceived(lines); }, nullptr, {});
    }
    if (FRunThisTurn > 0)
        EndTurnLater();
}

// Raises an event; the peer gets its reply before the handler runs, so that a message taken
// before its deadline is confirmed in time however long the handler takes.
void TAppInstances::RaiseGuarded(const std::function<void()>& raise,
                                 TReceiverConnection* connection, const TFrame& reply) {
    if (connection)
        connection->Reply(reply);
    std::optional<std::string> error;
    try {
        raise();
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (error && OnError)
        OnError(WithClosingPeriod(*error));
}

std::vector<std::string> TAppInstances::SplitLines(std::string_view payload) {
    payload = payload.substr(0, payload.find('\0'));
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] != '\r' && payload[i] != '\n')
            continue;
        lines.emplace_back(payload.substr(start, i - start));
        if (payload[i] == '\r' && i + 1 < payload.size() && payload[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < payload.size())
        lines.emplace_back(payload.substr(start));
    return lines;
}
