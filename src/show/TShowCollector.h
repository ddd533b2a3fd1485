#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// Collects a show: copies its audio files into a media folder beside a new show file, so that
// the folder holds everything the show needs. Copies run on a thread of its own and can be
// cancelled; a failed or cancelled run removes the copies it made, so nothing half-made stays.
// Start, Cancel and the results: the thread that made the object.
class TShowCollector {
public:
    struct TCopy {
        std::string From;
        std::string To;
    };
    // Copies `from` to `to`; false with the reason.
    using TCopier =
        std::function<bool(const std::string& from, const std::string& to, std::string& failure)>;

    // The copies that put `files` into `mediaFolder`, each file once. A name that another file
    // has taken, or that a file there has, gets " (2)", " (3)" ... before its extension.
    static std::vector<TCopy> Plan(const std::vector<std::string>& files,
                                   const std::string& mediaFolder);
    // Writes a temporary file beside `to`, then renames it: a failed copy leaves nothing.
    static bool CopyFile(const std::string& from, const std::string& to, std::string& failure);

    explicit TShowCollector(TCopier copier = CopyFile);
    // Cancels a run under way and waits for it.
    ~TShowCollector();
    TShowCollector(const TShowCollector&) = delete;
    TShowCollector& operator=(const TShowCollector&) = delete;

    void Start(std::vector<TCopy> copies);
    void Cancel() { FCancelled = true; }
    bool Done() const { return FDone.load(std::memory_order_acquire); }
    size_t Copied() const { return FCopied; }
    // Once Done: whether every file was copied, and why not.
    bool Ok() const { return FOk; }
    const std::string& Failure() const { return FFailure; }

private:
    void Run(const std::vector<TCopy>& copies);

    const TCopier FCopier;
    std::atomic<bool> FCancelled{false};
    // Released after FOk and FFailure are set.
    std::atomic<bool> FDone{false};
    std::atomic<size_t> FCopied{0};
    bool FOk = false;
    std::string FFailure;
    std::thread FThread;
};
