#include "TReceiverSocket.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

TReceiverSocket::TReceiverSocket(const std::string& path) : FPath(path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        throw std::runtime_error("Cannot set up the instance receiver: the path " + path +
                                 " is longer than a socket path may be (107 characters).");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A socket left behind by an ended process with the same id.
    ::unlink(path.c_str());
    FSocket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // The backlog takes every launch of a burst while the event loop is busy.
    if (FSocket < 0 ||
        ::bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(path.c_str(), 0600) != 0 || ::listen(FSocket, SOMAXCONN) != 0) {
        const int error = errno;
        Close();
        throw std::runtime_error(
            "Cannot set up the instance receiver " + path + ": " + std::strerror(error) + " (" +
            std::to_string(error) +
            ").\nCheck that this folder belongs to you and can be written to.");
    }
}

TReceiverSocket TReceiverSocket::Adopt(int socket, const std::string& path) {
    TReceiverSocket adopted;
    adopted.FSocket = socket;
    adopted.FPath = path;
    return adopted;
}

TReceiverSocket::~TReceiverSocket() {
    Close();
}

TReceiverSocket::TReceiverSocket(TReceiverSocket&& other) noexcept
    : FSocket(std::exchange(other.FSocket, -1)), FPath(std::move(other.FPath)) {}

TReceiverSocket& TReceiverSocket::operator=(TReceiverSocket&& other) noexcept {
    if (this != &other) {
        Close();
        FSocket = std::exchange(other.FSocket, -1);
        FPath = std::move(other.FPath);
    }
    return *this;
}

int TReceiverSocket::Release() {
    return std::exchange(FSocket, -1);
}

void TReceiverSocket::Close() {
    if (FSocket < 0)
        return;
    ::close(std::exchange(FSocket, -1));
    ::unlink(FPath.c_str());
}
