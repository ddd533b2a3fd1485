#include "TCueLengths.h"

#include <QMetaObject>

TCueLengths::TCueLengths(TProbe probe, QObject* parent)
    : TCueLengths(std::move(probe), &TCueLengths::Stat, parent) {}

TCueLengths::TCueLengths(TProbe probe, TStat stat, QObject* parent)
    : QObject(parent), FProbe(std::move(probe)), FStat(std::move(stat)) {
    // One file at a time, beside the decoding of what plays.
    FPool.setMaxThreadCount(1);
}

TCueLengths::~TCueLengths() {
    FPool.clear();
    FPool.waitForDone();
}

std::optional<std::filesystem::file_time_type> TCueLengths::Stat(const std::string& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return std::nullopt;
    const auto modified = std::filesystem::last_write_time(file, ec);
    return ec ? std::nullopt : std::optional(modified);
}

const TCueLengths::TEntry* TCueLengths::Known(const std::string& file) {
    if (file.empty())
        return nullptr;
    const auto found = FEntries.find(file);
    if (found == FEntries.end()) {
        Check(file);
        return nullptr;
    }
    return found->second.Looked ? &found->second : nullptr;
}

std::optional<double> TCueLengths::Length(const std::string& file) {
    const TEntry* entry = Known(file);
    return entry ? entry->Seconds : std::nullopt;
}

std::optional<bool> TCueLengths::Exists(const std::string& file) {
    const TEntry* entry = Known(file);
    return entry ? std::optional(entry->Modified.has_value()) : std::nullopt;
}

void TCueLengths::Check(const std::string& file) {
    if (file.empty())
        return;
    TEntry& entry = FEntries[file];
    if (entry.Checking)
        return;
    entry.Checking = true;
    const auto known = entry.Looked ? entry.Modified : std::nullopt;
    FPool.start([this, file, known, stat = FStat, probe = FProbe] {
        const auto modified = stat(file);
        const bool changed = modified && modified != known;
        const std::optional<double> seconds = changed ? probe(file) : std::nullopt;
        QMetaObject::invokeMethod(
            this,
            [this, file, modified, changed, seconds] { Store(file, modified, changed, seconds); },
            Qt::QueuedConnection);
    });
}

void TCueLengths::Store(const std::string& file,
                        std::optional<std::filesystem::file_time_type> modified, bool probed,
                        std::optional<double> seconds) {
    TEntry& entry = FEntries[file];
    const bool changed =
        !entry.Looked || probed || entry.Modified.has_value() != modified.has_value();
    entry.Looked = true;
    entry.Checking = false;
    entry.Modified = modified;
    if (probed || !modified)
        entry.Seconds = seconds;
    if (changed)
        Q_EMIT LengthFound(file);
}

bool TCueLengths::WaitForProbes(int milliseconds) {
    return FPool.waitForDone(milliseconds);
}
