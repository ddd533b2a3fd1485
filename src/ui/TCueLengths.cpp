#include "TCueLengths.h"

#include <QMetaObject>

TCueLengths::TCueLengths(TProbe probe, QObject* parent)
    : QObject(parent), FProbe(std::move(probe)) {
    // One file at a time, beside the decoding of what plays.
    FPool.setMaxThreadCount(1);
}

TCueLengths::~TCueLengths() {
    FPool.clear();
    FPool.waitForDone();
}

std::optional<double> TCueLengths::Length(const std::string& file) {
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    const auto modified = std::filesystem::last_write_time(file, ec);
    if (ec)
        return std::nullopt;
    auto found = FEntries.find(file);
    if (found != FEntries.end() && (found->second.Modified == modified || found->second.Probing))
        return found->second.Modified == modified ? found->second.Seconds : std::nullopt;
    FEntries[file] = {modified, std::nullopt, true};
    FPool.start([this, file, modified, probe = FProbe] {
        std::optional<double> seconds = probe(file);
        QMetaObject::invokeMethod(
            this, [this, file, modified, seconds] { Store(file, modified, seconds); },
            Qt::QueuedConnection);
    });
    return std::nullopt;
}

void TCueLengths::Store(const std::string& file, std::filesystem::file_time_type modified,
                        std::optional<double> seconds) {
    FEntries[file] = {modified, seconds, false};
    Q_EMIT LengthFound(file);
}

bool TCueLengths::WaitForProbes(int milliseconds) {
    return FPool.waitForDone(milliseconds);
}
