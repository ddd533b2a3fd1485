#include "StartUp.h"

#include "TInstanceRegistry.h"
#include "TLaunchCheck.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void LeaveRegistry(void* context) {
    static_cast<std::unique_ptr<TInstanceRegistry>*>(context)->reset();
}

int Run(int argc, char* argv[], TReceiverSocket receiver,
        std::unique_ptr<TInstanceRegistry>& registry, const TApplicationEntry& application) {
    const std::string path = receiver.Path();
    const TrelmoLaunch launch{
        argc,          argv,     receiver.Release(), path.c_str(), registry->OwnProcessId(),
        LeaveRegistry, &registry};
    return application.Run(launch);
}

// A lone file name (a show file opened from a terminal) reaches the running Trelmo as a full
// path: that process runs in another folder.
std::vector<std::string> ForwardedArguments(int argc, char* argv[]) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && arguments[0].ends_with(".trelmo") && arguments[0][0] != '/') {
        if (char* full = ::realpath(arguments[0].c_str(), nullptr)) {
            arguments[0] = full;
            std::free(full);
        }
    }
    return arguments;
}

} // namespace

int StartUp(int argc, char* argv[], const TApplicationEntry& application) {
    // Owners in order: the check refers to the registry, so it goes first.
    std::unique_ptr<TInstanceRegistry> registry;
    std::optional<TLaunchCheck> check;
    try {
        registry = std::make_unique<TInstanceRegistry>(TInstanceRegistry::ExecutableIdentity());
        check.emplace(*registry);
    } catch (const TRegistryFull& e) {
        std::fprintf(stderr, "trelmo: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        check.reset();
        registry.reset();
        application.ReportError(argc, argv, e.what());
        return 1;
    }
    switch (check->CheckLaunch(ForwardedArguments(argc, argv))) {
    case TLaunchCheck::TResult::Run: {
        TReceiverSocket receiver = check->TakeReceiver();
        check.reset();
        return Run(argc, argv, std::move(receiver), registry, application);
    }
    case TLaunchCheck::TResult::Delivered:
        return 0;
    case TLaunchCheck::TResult::NotDelivered:
        std::fprintf(stderr, "trelmo: %s\n", check->Failure().c_str());
        return NotDeliveredExitCode;
    }
    return 0;
}
