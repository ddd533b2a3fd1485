#pragma once

#include "TInstanceRegistry.h"
#include "TReceiverSocket.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The single-instance check of a launch, before anything of the window exists: registers the
// process and decides whether this launch runs or hands its arguments to the running instance.
// Only a launch that runs gets a receiver socket, so a launch is never asked anything by other
// launches and simultaneous launches never wait for each other. A launch never brings the
// running instance to the front itself; an empty argument list does. Needs no Qt. One thread.
class TLaunchCheck {
public:
    enum class TResult { Run, Delivered, NotDelivered };

    // Registers the process in registry; when it stands first, makes its receiver socket while
    // the registry is locked, so whoever finds it registered can reach it. Throws TRegistryFull
    // when the registry has no room for it, std::runtime_error when the socket cannot be made.
    explicit TLaunchCheck(TInstanceRegistry& registry);

    // The longest argument list a launch hands on, each argument followed by CR LF.
    static constexpr size_t MaxCommandSize = TFrame::MaxPayload - TFrame::DeadlineSize;

    bool Active = true;
    int32_t MaxInstances = 1;
    bool SendCmdLine = true;
    std::function<void()> OnRejected;

    // Run: the launch runs, with its receiver made. Delivered: every running instance took the
    // arguments (or SendCmdLine is off). NotDelivered: some instance did not; see Failure().
    TResult CheckLaunch(const std::vector<std::string>& arguments);
    // Asks the running instances whether they are active; the answer travels as the reply on
    // the connection that asked.
    bool PollOthersActive();

    // Why the arguments were not delivered, in words for the operator.
    std::string Failure() const;
    // The receiver socket, for the component that serves it.
    TReceiverSocket TakeReceiver() { return std::move(FReceiver); }

private:
    void MakeReceiver();

    TInstanceRegistry& FRegistry;
    TReceiverSocket FReceiver;
    // Processes that did not answer the poll in time; the forwarding leaves them out.
    std::vector<uint32_t> FUnresponsive;
    TDelivery FDelivery;
    size_t FCommandSize = 0;
};
