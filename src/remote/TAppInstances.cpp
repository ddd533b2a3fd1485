#include "TAppInstances.h"

#include "TextRules.h"

#include "TInstanceRegistry.h"
#include "TReceiverConnection.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

int Listen(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("Cannot set up the instance receiver: the path " + path +
                                 " is too long.\nSet XDG_RUNTIME_DIR to a shorter folder.");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket left behind by an ended process with the same id.
    ::unlink(path.c_str());
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (socket < 0 ||
        ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(socket, 64) != 0) {
        const int error = errno;
        if (socket >= 0)
            ::close(socket);
        throw std::runtime_error(
            "Cannot set up the instance receiver " + path + ": " + std::strerror(error) + " (" +
            std::to_string(error) +
            ").\nCheck that this folder belongs to you and can be written to.");
    }
    return socket;
}

} // namespace

TAppInstances::TAppInstances(TInstanceRegistry& registry, QObject* parent)
    : QObject(parent), FRegistry(registry),
      FSocketPath(registry.SocketPathOf(registry.OwnProcessId())), FSocket(Listen(FSocketPath)) {
    if (!FRegistry.ComponentCreated) {
        FRegistry.ComponentCreated = true;
        FRegistry.RegisterInstance(65535);
    }
}

TAppInstances::~TAppInstances() {
    ::close(FSocket);
    ::unlink(FSocketPath.c_str());
}

void TAppInstances::StartReceiving() {
    if (FNotifier)
        return;
    FNotifier = new QSocketNotifier(FSocket, QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, &TAppInstances::AcceptConnections);
    AcceptConnections();
}

bool TAppInstances::CheckLaunch(const std::vector<std::string>& arguments) {
    if (!Active || MaxInstances <= 0)
        return true;
    if (FRegistry.PositionOf(FRegistry.OwnProcessId()) < MaxInstances)
        return true;
    if (!PollOthersActive())
        return true;
    if (OnRejected)
        OnRejected();
    if (SendCmdLine)
        FRegistry.ForwardArguments(arguments, FRegistry.OwnProcessId(), FUnresponsive);
    return false;
}

bool TAppInstances::PollOthersActive() {
    const uint32_t own = FRegistry.OwnProcessId();
    const TFrame question{TFrameType::Notice, 4, static_cast<int32_t>(own), {}};
    const int32_t count = FRegistry.RegisteredCount();
    for (int32_t i = 0; i < count && Active; ++i) {
        const uint32_t processId = FRegistry.ProcessIdAt(i);
        if (processId == own)
            continue;
        TPeerConnection other = FRegistry.ApplicationWindowOf(processId);
        if (!other.IsValid())
            continue;
        const std::optional<TFrame> answer = other.Exchange(
            question, TPeerConnection::TClock::now() + TInstanceRegistry::ExchangeTimeLimit);
        if (!answer)
            FUnresponsive.push_back(processId);
        else if (answer->Type == TFrameType::Notice && answer->Kind == 5)
            Active = answer->Value != 0;
    }
    return Active;
}

void TAppInstances::AcceptConnections() {
    for (;;) {
        const int socket = ::accept4(FSocket, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        ucred peer{};
        socklen_t size = sizeof peer;
        if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
            peer.uid != ::geteuid()) {
            ::close(socket);
            continue;
        }
        new TReceiverConnection(
            socket,
            [this](TReceiverConnection& connection, const TFrame& frame) {
                HandleFrame(connection, frame);
            },
            this);
    }
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
        if (processId != FRegistry.OwnProcessId() && OnInstanceCreated)
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
    case 5:
        Active = frame.Value != 0;
        break;
    default:
        break;
    }
}

void TAppInstances::HandleData(TReceiverConnection& connection, const TFrame& frame) {
    if (static_cast<uint32_t>(frame.Value) == FRegistry.OwnProcessId()) {
        connection.Reply({TFrameType::Reply, 0, 0, {}});
        return;
    }
    const TFrame taken{TFrameType::Reply, 0, 1, {}};
    if (frame.Kind == 1 && OnCmdLineReceived) {
        const std::vector<std::string> lines = SplitLines(frame.Payload);
        RaiseGuarded([&] { OnCmdLineReceived(lines); }, &connection, taken);
    } else if (frame.Kind != 1 && OnDataAvailable) {
        const std::string data = frame.Payload;
        RaiseGuarded(
            [&] { OnDataAvailable(frame.Kind, data.data(), static_cast<int32_t>(data.size())); },
            &connection, taken);
    } else {
        connection.Reply(taken);
    }
}

// Raises an event; the peer gets its reply once the handler has returned, before an error
// that left the handler is reported.
void TAppInstances::RaiseGuarded(const std::function<void()>& raise,
                                 TReceiverConnection* connection, const TFrame& reply) {
    std::optional<std::string> error;
    try {
        raise();
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (connection)
        connection->Reply(reply);
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
