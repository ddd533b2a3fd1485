// The receiving side of a remote command on its own: from a launch connecting to the running
// instance's receiver with `play 1` to the command handler being entered, and to the launch
// holding the reply (the handler has returned). Usage: bench_receive_path [runs]
// The handler's own work, TCue::Play to the first sound, is bench_trigger_latency's.
#include "TAppInstances.h"
#include "TInstanceRegistry.h"
#include "TLaunchCheck.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

using TClock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Microseconds(TClock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 2000;
    std::string runtime = (std::filesystem::temp_directory_path() / "trelmo-bench-XXXXXX").string();
    ::setenv("XDG_RUNTIME_DIR", ::mkdtemp(runtime.data()), 1);
    QCoreApplication app(argc, argv);
    {
        TInstanceRegistry registry("/bench/trelmo");
        TLaunchCheck check(registry);
        TAppInstances instances(check.TakeReceiver(), registry.OwnProcessId());
        std::atomic<TClock::rep> entered{0};
        instances.OnCmdLineReceived = [&](const std::vector<std::string>&) {
            entered = TClock::now().time_since_epoch().count();
        };
        instances.StartReceiving();

        std::vector<double> toHandler, toReply;
        std::thread launch([&] {
            const TFrame play{TFrameType::Data, 1, 1, "play\r\n1\r\n"};
            for (int run = 0; run < runs; ++run) {
                const auto start = TClock::now();
                TPeerConnection receiver = registry.ApplicationWindowOf(registry.OwnProcessId());
                if (!receiver.Exchange(play, start + std::chrono::seconds(3)))
                    std::fprintf(stderr, "no reply\n");
                const auto replied = TClock::now();
                toHandler.push_back(
                    Microseconds(TClock::time_point(TClock::duration(entered.load())) - start));
                toReply.push_back(Microseconds(replied - start));
            }
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        });
        QCoreApplication::exec();
        launch.join();
        std::printf(
            "runs %d  connect to handler: median %.1f us  connect to reply: median %.1f us\n", runs,
            Median(toHandler), Median(toReply));
    }
    std::filesystem::remove_all(runtime);
    return 0;
}
