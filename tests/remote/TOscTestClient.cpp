#include "TOscTestClient.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TOscTestClient::TOscTestClient(uint16_t port, const char* host) {
    FSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host, &address.sin_addr);
    ::connect(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

TOscTestClient::~TOscTestClient() {
    ::close(FSocket);
}

TTakenUdpPort::TTakenUdpPort() {
    FSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(FSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        FPort = ntohs(address.sin_port);
}

TTakenUdpPort::~TTakenUdpPort() {
    ::close(FSocket);
}

std::string OscBytes(const std::string& path, lo_message message) {
    if (!message)
        message = lo_message_new();
    size_t size = 0;
    void* data = lo_message_serialise(message, path.c_str(), nullptr, &size);
    std::string bytes = data ? std::string(static_cast<const char*>(data), size) : std::string();
    std::free(data);
    lo_message_free(message);
    return bytes;
}

bool TOscTestClient::Send(const std::string& path, lo_message message) {
    const std::string bytes = OscBytes(path, message);
    return !bytes.empty() && SendRaw(bytes);
}

bool TOscTestClient::SendInt(const std::string& path, int32_t value) {
    lo_message message = lo_message_new();
    lo_message_add_int32(message, value);
    return Send(path, message);
}

bool TOscTestClient::SendFloat(const std::string& path, float value) {
    lo_message message = lo_message_new();
    lo_message_add_float(message, value);
    return Send(path, message);
}

bool TOscTestClient::SendRaw(std::string_view bytes) {
    return ::send(FSocket, bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
}
