#pragma once

#include <string>

// The listening Unix socket through which a running instance receives notices and argument
// lists, created 0600 at a path named by its process id; closed and removed with the object.
class TReceiverSocket {
public:
    TReceiverSocket() = default;
    // Listens at path; throws std::runtime_error when it cannot.
    explicit TReceiverSocket(const std::string& path);
    // Takes over socket, already listening at path.
    static TReceiverSocket Adopt(int socket, const std::string& path);
    ~TReceiverSocket();
    TReceiverSocket(TReceiverSocket&& other) noexcept;
    TReceiverSocket& operator=(TReceiverSocket&& other) noexcept;

    bool IsValid() const { return FSocket >= 0; }
    int Socket() const { return FSocket; }
    const std::string& Path() const { return FPath; }
    // Gives up the socket without closing or removing it; its new owner adopts it.
    int Release();

private:
    void Close();

    int FSocket = -1;
    std::string FPath;
};
