#pragma once

#include "TOscCommand.h"

#include <QObject>
#include <QTimer>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// Takes OSC over UDP. The socket is bound to exactly the address it is given, so it reaches
// no other network than that address's; liblo decodes each datagram on a receiving thread of
// the server's own. Commands reach OnCommand on the UI thread in arrival order, the messages of a
// bundle (nested ones too) in the order they stand, at most BatchSize in one turn of the event
// loop. Everything else
// (malformed, oversized, unknown addresses, wrong arguments, more than the window can take) is
// dropped and counted; the counts go to OnDropReport at once and then at most once per
// DropReportInterval while drops go on. Members run on the UI thread unless marked otherwise.
class TOscServer : public QObject {
    Q_OBJECT

public:
    enum TDrop : uint8_t { odMalformed, odTooLarge, odUnknownAddress, odWrongArguments, odBusy };
    static constexpr size_t DropKinds = odBusy + 1;
    // Commands carried out in one turn of the event loop at most.
    static constexpr size_t BatchSize = 8;

    explicit TOscServer(QObject* parent = nullptr);
    // Stops and joins the receiving thread; commands not yet delivered are dropped.
    ~TOscServer() override;
    TOscServer(const TOscServer&) = delete;
    TOscServer& operator=(const TOscServer&) = delete;

    std::function<void(const TOscCommand& command)> OnCommand;
    // The commands of one bundle, in the order they stand, all in one turn of the event loop
    // (however many); unset, each goes to OnCommand.
    std::function<void(const std::vector<TOscCommand>& commands)> OnBundle;
    // Standard error unless replaced; set before Start.
    std::function<void(const std::string& text)> OnDropReport;
    std::chrono::milliseconds DropReportInterval = std::chrono::minutes(1);

    // Binds UDP `address` (a numeric IPv4 or IPv6 address) and `port` (0: any free one) and
    // starts receiving. False, with the reason in plain words in `failure`, when it cannot.
    bool Start(const std::string& address, int32_t port, std::string& failure);
    // The bound port; 0 before a successful Start.
    uint16_t Port() const { return FPort; }
    // Datagrams read so far, bad ones included; any thread.
    uint64_t Received() const { return FReceived; }

private:
    // Receiving thread.
    void Receive();
    void Handle(char* data, size_t size);
    // The command a message carries out; none for a message that is dropped or not pressed.
    std::optional<TOscCommand> Read(char* data, size_t size);
    // Queues the commands of one datagram whole, or drops them all when they do not fit.
    void Push(const std::vector<TOscCommand>& commands, bool bundle);
    // UI thread: hands one command, or one bundle's, over; how many.
    size_t DeliverNext();
    void Drop(TDrop kind);

    void DeliverCommands();
    void ReportDrops();
    bool HasDrops() const;
    std::string TakeDropReport();

    int FSocket = -1;
    // Wakes the receiving thread to stop.
    int FStopEvent = -1;
    uint16_t FPort = 0;
    std::thread FThread;
    std::atomic<uint64_t> FReceived = 0;

    std::mutex FQueueLock;
    // A bundle's first command tells how many follow it, itself included; 0 for one on its own.
    struct TQueued {
        TOscCommand Command;
        size_t Bundle = 0;
    };
    std::deque<TQueued> FQueue;
    // Whether a delivery is on its way to the UI thread; guarded by FQueueLock.
    bool FDeliveryPosted = false;

    // Counted on the receiving thread, taken on the UI thread. Sequentially consistent with
    // FReportArmed: a drop counted before it finds the flag set is seen by the report that
    // clears it.
    std::array<std::atomic<uint64_t>, DropKinds> FDropped{};
    // Set from the first drop after a quiet interval until a report finds nothing new.
    std::atomic<bool> FReportArmed = false;
    QTimer FReportTimer;
};
