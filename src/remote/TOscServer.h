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
#include <string>
#include <thread>

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
    void HandleMessage(char* data, size_t size);
    void Push(const TOscCommand& command);
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
    std::deque<TOscCommand> FQueue;
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
