#include "TReceiverConnection.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

TReceiverConnection::TReceiverConnection(
    int socket, std::function<void(TReceiverConnection&, const TFrame&)> onFrame, QObject* parent)
    : QObject(parent), FSocket(socket), FOnFrame(std::move(onFrame)),
      FNotifier(new QSocketNotifier(socket, QSocketNotifier::Read, this)) {
    connect(FNotifier, &QSocketNotifier::activated, this, &TReceiverConnection::ReadAvailable);
    FTimeLimit.setSingleShot(true);
    connect(&FTimeLimit, &QTimer::timeout, this, &TReceiverConnection::Finish);
    FTimeLimit.start(TimeLimitMs);
}

TReceiverConnection::~TReceiverConnection() {
    ::close(FSocket);
}

void TReceiverConnection::Finish() {
    FNotifier->setEnabled(false);
    FTimeLimit.stop();
    deleteLater();
}

void TReceiverConnection::ReadAvailable() {
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(FSocket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        const TFrameReader::TResult result =
            n > 0 ? FReader.Feed(buffer, static_cast<size_t>(n)) : TFrameReader::Malformed;
        if (result == TFrameReader::NeedMore)
            continue;
        FNotifier->setEnabled(false);
        FTimeLimit.stop();
        if (result == TFrameReader::Complete)
            FOnFrame(*this, FReader.Frame());
        deleteLater();
        return;
    }
}

void TReceiverConnection::Reply(const TFrame& frame) {
    const std::string bytes = frame.Encode();
    ::send(FSocket, bytes.data(), bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}
