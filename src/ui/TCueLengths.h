#pragma once

#include <QObject>
#include <QThreadPool>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

// What the grid shows of the cues' files: whether each is there and how long it plays. Found on a
// thread of their own and kept per file name and modification time, so a show opens at once, a
// file is probed again only once it changed, and a paint never waits on a disk or a hung network
// mount. UI thread only; the file system is touched only on the pool's thread.
class TCueLengths : public QObject {
    Q_OBJECT

public:
    // Seconds a file plays for, nothing when that cannot be told. Runs off the UI thread.
    using TProbe = std::function<std::optional<double>(const std::string& file)>;
    // When a regular file of that name was last changed; nothing when there is none. Runs off
    // the UI thread.
    using TStat =
        std::function<std::optional<std::filesystem::file_time_type>(const std::string& file)>;

    explicit TCueLengths(TProbe probe, QObject* parent = nullptr);
    TCueLengths(TProbe probe, TStat stat, QObject* parent = nullptr);
    ~TCueLengths() override;

    // The file's length as last found; nothing while it is unknown. A file not looked at yet is
    // looked at in the background.
    std::optional<double> Length(const std::string& file);
    // Whether the file was there when last looked at; nothing until it has been. A file not
    // looked at yet is looked at in the background.
    std::optional<bool> Exists(const std::string& file);
    // Looks at the file again in the background, unless a look at it is under way: a file that
    // appeared, went or changed is shown so once the look has ended.
    void Check(const std::string& file);
    // Until every look begun so far has ended; for tests and benchmarks.
    bool WaitForProbes(int milliseconds);

    static std::optional<std::filesystem::file_time_type> Stat(const std::string& file);

Q_SIGNALS:
    // A look at the file has found something new: it appeared, went, or its length is known.
    void LengthFound(const std::string& file);

private:
    struct TEntry {
        bool Looked = false;
        bool Checking = false;
        std::optional<std::filesystem::file_time_type> Modified;
        std::optional<double> Seconds;
    };
    const TEntry* Known(const std::string& file);
    void Store(const std::string& file, std::optional<std::filesystem::file_time_type> modified,
               bool probed, std::optional<double> seconds);

    TProbe FProbe;
    TStat FStat;
    std::unordered_map<std::string, TEntry> FEntries;
    QThreadPool FPool;
};
