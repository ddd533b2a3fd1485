// A local OSC client gone wrong: sends `count` datagrams to 127.0.0.1:`port` as fast as it can,
// each malformed, too large, for an unknown address or with arguments no command takes.
// Usage: osc_flood port count
#include "TOscTestClient.h"

#include <lo/lo.h>

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

std::string Garbage(uint32_t& seed, size_t size) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[1])));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return 1;

    lo_message words = lo_message_new();
    lo_message_add_string(words, "start");
    const std::string wrongArguments = OscBytes("/cue/1/start", words);
    const std::string cutShort = wrongArguments.substr(0, wrongArguments.size() - 3);
    uint32_t seed = 1;
    const long count = std::atol(argv[2]);
    for (long i = 0; i < count; ++i) {
        std::string bytes;
        switch (i % 5) {
        case 0:
            bytes = Garbage(seed, 1 + seed % 200);
            break;
        case 1:
            bytes = cutShort;
            break;
        case 2:
            bytes = OscBytes("/nowhere/" + std::to_string(i));
            break;
        case 3:
            bytes = wrongArguments;
            break;
        default:
            bytes = i % 1000 == 4 ? std::string(9000, '/') : OscBytes("/Go");
        }
        // A full socket buffer on either side loses datagrams, as a real flood does.
        ::send(socket, bytes.data(), bytes.size(), 0);
    }
    ::close(socket);
    return 0;
}
