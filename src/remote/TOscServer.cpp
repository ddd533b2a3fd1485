#include "TOscServer.h"

#include "OscBundle.h"

#include <lo/lo.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// No command needs more; larger datagrams are dropped unread.
constexpr size_t MaxDatagram = 4096;
// Commands waiting for the UI thread; more are dropped as arriving faster than it takes them.
constexpr size_t QueueCapacity = 256;

constexpr std::array<const char*, TOscServer::DropKinds> DropNames = {
    "malformed", "too large", "for unknown addresses", "with arguments other than one number",
    "arriving faster than the window could carry them out"};

std::string Endpoint(const std::string& address, int32_t port) {
    const bool v6 = address.find(':') != std::string::npos;
    return (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port);
}

std::string SettingsHint() {
    return "Set Address and Port in the Osc element of Settings.xml, then restart Trelmo.";
}

std::string BindFailure(const std::string& address, int32_t port, int error) {
    if (error == EADDRINUSE)
        return "OSC is off: UDP port " + std::to_string(port) + " on " + address +
               " is already in use by another program. Close that program or give Trelmo "
               "another port. " +
               SettingsHint();
    return "OSC is off: Trelmo cannot listen on UDP " + Endpoint(address, port) + " (" +
           std::strerror(error) + "). " + SettingsHint();
}

// Whether a message presses its button: no argument or one number other than 0. A 0 is the
// release of a button that sent a number on press. None for other arguments.
std::optional<bool> Pressed(lo_message message) {
    const char* types = lo_message_get_types(message);
    if (types[0] == '\0')
        return true;
    if (types[1] != '\0')
        return std::nullopt;
    // Types without data, such as true and false, have no argument value.
    const lo_arg* arg = lo_message_get_argv(message)[0];
    if (!arg)
        return std::nullopt;
    switch (types[0]) {
    case LO_INT32:
        return arg->i != 0;
    case LO_INT64:
        return arg->h != 0;
    case LO_FLOAT:
        return arg->f != 0.0f;
    case LO_DOUBLE:
        return arg->d != 0.0;
    default:
        return std::nullopt;
    }
}

} // namespace

TOscServer::TOscServer(QObject* parent) : QObject(parent) {
    OnDropReport = [](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); };
    FReportTimer.setSingleShot(true);
    FReportTimer.setTimerType(Qt::PreciseTimer);
    connect(&FReportTimer, &QTimer::timeout, this, &TOscServer::ReportDrops);
}

TOscServer::~TOscServer() {
    if (FThread.joinable()) {
        const uint64_t one = 1;
        if (::write(FStopEvent, &one, sizeof one) != sizeof one)
            std::perror("Trelmo: stopping OSC");
        FThread.join();
    }
    for (int fd : {FSocket, FStopEvent})
        if (fd >= 0)
            ::close(fd);
}

bool TOscServer::Start(const std::string& address, int32_t port, std::string& failure) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo* found = nullptr;
    if (port < 0 || port > 65535) {
        failure = "OSC is off: " + std::to_string(port) + " is not a UDP port (0 to 65535). " +
                  SettingsHint();
        return false;
    }
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        failure = "OSC is off: \"" + address +
                  "\" is not an IP address (127.0.0.1 takes OSC from this computer only). " +
                  SettingsHint();
        return false;
    }
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> guard(found, freeaddrinfo);
    FSocket = ::socket(found->ai_family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    FStopEvent = ::eventfd(0, EFD_CLOEXEC);
    if (FSocket < 0 || FStopEvent < 0 || ::bind(FSocket, found->ai_addr, found->ai_addrlen) != 0) {
        failure = BindFailure(address, port, errno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&bound), &length);
    char service[NI_MAXSERV] = "";
    getnameinfo(reinterpret_cast<sockaddr*>(&bound), length, nullptr, 0, service, sizeof service,
                NI_NUMERICSERV | NI_DGRAM);
    FPort = static_cast<uint16_t>(std::atoi(service));
    FThread = std::thread(&TOscServer::Receive, this);
    return true;
}

// Receiving thread: reads every datagram that is there, then waits for the next or the stop.
void TOscServer::Receive() {
    std::vector<char> buffer(MaxDatagram);
    pollfd fds[2] = {{FSocket, POLLIN, 0}, {FStopEvent, POLLIN, 0}};
    for (;;) {
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents != 0)
            return;
        for (;;) {
            const ssize_t size = ::recv(FSocket, buffer.data(), buffer.size(), MSG_TRUNC);
            if (size < 0)
                break;
            ++FReceived;
            if (static_cast<size_t>(size) > buffer.size())
                Drop(odTooLarge);
            else
                Handle(buffer.data(), static_cast<size_t>(size));
            if (::poll(&fds[1], 1, 0) > 0)
                return;
        }
    }
}

// Receiving thread. The messages of a bundle run at once, whatever its time tag, in order.
void TOscServer::Handle(char* data, size_t size) {
    if (!IsOscBundle({data, size})) {
        if (const std::optional<TOscCommand> command = Read(data, size))
            Push({*command}, false);
        return;
    }
    const std::optional<std::vector<std::string_view>> messages = OscBundleMessages({data, size});
    if (!messages)
        return Drop(odMalformed);
    std::vector<TOscCommand> commands;
    // The views point into data, which the receiving thread owns.
    for (std::string_view message : *messages)
        if (const std::optional<TOscCommand> command =
                Read(const_cast<char*>(message.data()), message.size()))
            commands.push_back(*command);
    if (!commands.empty())
        Push(commands, true);
}

// Receiving thread.
std::optional<TOscCommand> TOscServer::Read(char* data, size_t size) {
    int result = 0;
    const std::unique_ptr<void, decltype(&lo_message_free)> message(
        lo_message_deserialise(data, size, &result), lo_message_free);
    if (!message) {
        Drop(odMalformed);
        return std::nullopt;
    }
    // The message was read from `data`, whose address it has checked.
    std::optional<TOscCommand> command = TOscCommand::FromAddress(data);
    if (!command) {
        Drop(odUnknownAddress);
        return std::nullopt;
    }
    const std::optional<bool> pressed = Pressed(message.get());
    if (!pressed)
        Drop(odWrongArguments);
    if (!pressed || !*pressed)
        return std::nullopt;
    return command;
}

// Receiving thread.
void TOscServer::Push(const std::vector<TOscCommand>& commands, bool bundle) {
    bool full = false;
    bool post = false;
    {
        const std::lock_guard lock(FQueueLock);
        full = FQueue.size() + commands.size() > QueueCapacity;
        if (!full) {
            for (const TOscCommand& command : commands)
                FQueue.push_back({command, 0});
            if (bundle)
                FQueue[FQueue.size() - commands.size()].Bundle = commands.size();
            post = !std::exchange(FDeliveryPosted, true);
        }
    }
    if (full)
        for (size_t i = 0; i < commands.size(); ++i)
            Drop(odBusy);
    else if (post)
        QMetaObject::invokeMethod(this, &TOscServer::DeliverCommands, Qt::QueuedConnection);
}

// Receiving thread.
void TOscServer::Drop(TDrop kind) {
    FDropped[kind].fetch_add(1);
    if (!FReportArmed.exchange(true))
        QMetaObject::invokeMethod(this, &TOscServer::ReportDrops, Qt::QueuedConnection);
}

// Carries out at most BatchSize of the commands that are waiting (a bundle whole), then gives
// the event loop back before the rest, so a stream of commands never holds up the keys and the
// window.
void TOscServer::DeliverCommands() {
    size_t waiting = 0;
    {
        const std::lock_guard lock(FQueueLock);
        waiting = std::min(FQueue.size(), BatchSize);
    }
    for (size_t delivered = 0; delivered < waiting;)
        delivered += DeliverNext();
    {
        const std::lock_guard lock(FQueueLock);
        if (FQueue.empty()) {
            FDeliveryPosted = false;
            return;
        }
    }
    QMetaObject::invokeMethod(this, &TOscServer::DeliverCommands, Qt::QueuedConnection);
}

size_t TOscServer::DeliverNext() {
    std::vector<TOscCommand> commands;
    bool bundle = false;
    {
        const std::lock_guard lock(FQueueLock);
        bundle = FQueue.front().Bundle > 0;
        const size_t count = std::max<size_t>(FQueue.front().Bundle, 1);
        for (size_t i = 0; i < count; ++i) {
            commands.push_back(FQueue.front().Command);
            FQueue.pop_front();
        }
    }
    if (bundle && OnBundle)
        OnBundle(commands);
    else if (OnCommand)
        for (const TOscCommand& command : commands)
            OnCommand(command);
    return commands.size();
}

void TOscServer::ReportDrops() {
    std::string text = TakeDropReport();
    if (text.empty()) {
        FReportArmed = false;
        // A drop counted just before the flag fell found it set and posted no report.
        if (!HasDrops() || FReportArmed.exchange(true))
            return;
        text = TakeDropReport();
    }
    OnDropReport(text);
    FReportTimer.start(DropReportInterval);
}

bool TOscServer::HasDrops() const {
    return std::ranges::any_of(FDropped,
                               [](const std::atomic<uint64_t>& count) { return count != 0; });
}

std::string TOscServer::TakeDropReport() {
    uint64_t total = 0;
    std::string parts;
    for (size_t kind = 0; kind < DropKinds; ++kind) {
        const uint64_t count = FDropped[kind].exchange(0);
        if (count == 0)
            continue;
        total += count;
        parts += (parts.empty() ? "" : ", ") + std::to_string(count) + " " + DropNames[kind];
    }
    if (total == 0)
        return {};
    return "Trelmo: ignored " + std::to_string(total) + " OSC message" + (total == 1 ? "" : "s") +
           " (" + parts + "). Check what the sending device sends to port " +
           std::to_string(FPort) + ".";
}
