#pragma once

#include <QObject>
#include <QThreadPool>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

// The lengths of the cues' files, found on a thread of their own and kept per file name and
// modification time, so a show opens at once and a file is probed again only once it changed.
// UI thread only; the probe runs on the pool's thread.
class TCueLengths : public QObject {
    Q_OBJECT

public:
    // Seconds a file plays for, nothing when that cannot be told. Runs off the UI thread.
    using TProbe = std::function<std::optional<double>(const std::string& file)>;

    explicit TCueLengths(TProbe probe, QObject* parent = nullptr);
    ~TCueLengths() override;

    // The file's length when it is known; otherwise nothing, and a probe is begun unless one
    // runs or the file is missing.
    std::optional<double> Length(const std::string& file);
    // Until every probe begun so far has ended; for tests and benchmarks.
    bool WaitForProbes(int milliseconds);

Q_SIGNALS:
    // A probe of the file has ended, whatever it found.
    void LengthFound(const std::string& file);

private:
    struct TEntry {
        std::filesystem::file_time_type Modified;
        std::optional<double> Seconds;
        bool Probing = false;
    };
    void Store(const std::string& file, std::filesystem::file_time_type modified,
               std::optional<double> seconds);

    TProbe FProbe;
    std::unordered_map<std::string, TEntry> FEntries;
    QThreadPool FPool;
};
