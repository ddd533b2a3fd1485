#include "TPeerConnection.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

TPeerConnection::~TPeerConnection() {
    if (FSocket >= 0)
        ::close(FSocket);
}

TPeerConnection::TPeerConnection(TPeerConnection&& other) noexcept
    : FSocket(std::exchange(other.FSocket, -1)) {}

TPeerConnection& TPeerConnection::operator=(TPeerConnection&& other) noexcept {
    if (this != &other) {
        if (FSocket >= 0)
            ::close(FSocket);
        FSocket = std::exchange(other.FSocket, -1);
    }
    return *this;
}

TPeerConnection TPeerConnection::Connect(const std::string& socketPath, uint32_t processId) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return {};
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    TPeerConnection connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!connection.IsValid() ||
        ::connect(connection.FSocket, reinterpret_cast<const sockaddr*>(&address),
                  sizeof address) != 0)
        return {};
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(connection.FSocket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 ||
        static_cast<uint32_t>(peer.pid) != processId || peer.uid != ::geteuid())
        return {};
    return connection;
}

bool TPeerConnection::WaitFor(short events, TClock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now());
        if (left.count() <= 0)
            return false;
        pollfd entry{FSocket, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()) + 1);
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return false;
    }
}

bool TPeerConnection::Send(const TFrame& frame, TClock::time_point deadline) {
    const std::string bytes = frame.Encode();
    size_t sent = 0;
    while (IsValid() && sent < bytes.size()) {
        const ssize_t n =
            ::send(FSocket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0)
            sent += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && errno == EAGAIN && WaitFor(POLLOUT, deadline))
            continue;
        else
            return false;
    }
    return IsValid();
}

std::optional<TFrame> TPeerConnection::ReadFrame(TClock::time_point deadline) {
    TFrameReader reader;
    char buffer[4096];
    while (IsValid()) {
        const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            const TFrameReader::TResult result = reader.Feed(buffer, static_cast<size_t>(n));
            if (result == TFrameReader::Complete)
                return reader.Frame();
            if (result == TFrameReader::Malformed)
                return std::nullopt;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN && WaitFor(POLLIN, deadline)) {
            continue;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<TFrame> TPeerConnection::Exchange(const TFrame& frame, TClock::time_point deadline) {
    if (!Send(frame, deadline))
        return std::nullopt;
    return ReadFrame(deadline);
}
