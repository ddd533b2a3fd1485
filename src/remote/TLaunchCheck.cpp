#include "TLaunchCheck.h"

TLaunchCheck::TLaunchCheck(TInstanceRegistry& registry) : FRegistry(registry) {
    TOptexGuard guard(FRegistry.Lock());
    FRegistry.RegisterInstance(65535);
    const int32_t position = FRegistry.PositionOf(FRegistry.OwnProcessId());
    if (position < 0)
        throw TRegistryFull(
            "The command was not carried out: " + std::to_string(TInstanceRegistry::Capacity) +
            " launches of Trelmo are waiting for the running Trelmo at once. Check whether that "
            "Trelmo has hung or been stopped, then repeat the command.");
    if (position < MaxInstances)
        MakeReceiver();
}

void TLaunchCheck::MakeReceiver() {
    if (!FReceiver.IsValid())
        FReceiver = TReceiverSocket(FRegistry.SocketPathOf(FRegistry.OwnProcessId()));
}

TLaunchCheck::TResult TLaunchCheck::CheckLaunch(const std::vector<std::string>& arguments) {
    const int32_t position = FRegistry.PositionOf(FRegistry.OwnProcessId());
    if (!Active || MaxInstances <= 0 || (position >= 0 && position < MaxInstances) ||
        !PollOthersActive()) {
        TOptexGuard guard(FRegistry.Lock());
        MakeReceiver();
        return TResult::Run;
    }
    if (OnRejected)
        OnRejected();
    if (!SendCmdLine)
        return TResult::Delivered;
    FCommandSize = TInstanceRegistry::ArgumentPayload(arguments).size();
    if (FCommandSize > MaxCommandSize)
        return TResult::NotDelivered;
    FDelivery = FRegistry.ForwardArguments(arguments, FRegistry.OwnProcessId(), FUnresponsive);
    return FDelivery.Delivered() ? TResult::Delivered : TResult::NotDelivered;
}

bool TLaunchCheck::PollOthersActive() {
    const uint32_t own = FRegistry.OwnProcessId();
    const TFrame question{TFrameType::Notice, 4, static_cast<int32_t>(own), {}};
    const int32_t count = FRegistry.RegisteredCount();
    for (int32_t i = 0; i < count && Active; ++i) {
        const uint32_t processId = FRegistry.ProcessIdAt(i);
        if (processId == own)
            continue;
        TPeerConnection other = FRegistry.ApplicationWindowOf(processId);
        if (!other.IsValid())
            continue;
        const std::optional<TFrame> answer = other.Exchange(
            question, TPeerConnection::TClock::now() + TInstanceRegistry::ExchangeTimeLimit);
        if (!answer)
            FUnresponsive.push_back(processId);
        else if (answer->Type == TFrameType::Notice && answer->Kind == 5)
            Active = answer->Value != 0;
    }
    return Active;
}

std::string TLaunchCheck::Failure() const {
    if (FCommandSize > MaxCommandSize)
        return "The command is too long to hand to the running Trelmo (" +
               std::to_string(FCommandSize) +
               " bytes with a line end after each argument; at "
               "most " +
               std::to_string(MaxCommandSize) +
               "), so it was not carried out. Split it over several launches.";
    if (FDelivery.Missed.empty())
        return "Trelmo is registered as running, but no running Trelmo could be reached, so the "
               "command was not carried out. Start Trelmo again, then repeat the command.";
    std::string processes;
    for (uint32_t processId : FDelivery.Missed)
        processes += (processes.empty() ? "" : ", ") + std::to_string(processId);
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(TInstanceRegistry::ExchangeTimeLimit);
    return "The running Trelmo (process " + processes + ") did not take the command within " +
           std::to_string(seconds.count()) +
           " seconds, so it was not carried out, and that Trelmo will not carry it out later "
           "either. Check whether it has hung or been stopped, then repeat the command.";
}
