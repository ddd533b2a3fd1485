#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

// Looks for files by name under a folder, on a thread of its own, so that the window's thread
// never waits on a disk or a network share. Symbolic links to folders are not followed (no
// loops); folders that cannot be read are passed over. Start, Cancel and the results: the
// thread that made the object; OnDone runs on the search thread.
class TFileSearch {
public:
    struct TPlace {
        std::string Path;
        // Folders between the one searched and the file: 0 directly inside it.
        int Depth = 0;
    };
    // Every place of each name found, nearest first (fewest folders, then by path).
    using TResult = std::map<std::string, std::vector<TPlace>>;

    TFileSearch() = default;
    // Cancels a search under way and waits for it.
    ~TFileSearch();
    TFileSearch(const TFileSearch&) = delete;
    TFileSearch& operator=(const TFileSearch&) = delete;

    void Start(const std::string& folder, std::set<std::string> names,
               std::function<void()> onDone);
    void Cancel() { FCancelled = true; }
    bool Done() const { return FDone; }
    bool Cancelled() const { return FCancelled; }
    // How many folders have been searched so far.
    uint64_t FoldersSearched() const { return FFolders; }
    // Complete once Done.
    const TResult& Result() const { return FResult; }

    // The search itself, on the calling thread; `cancelled` is polled between entries.
    static TResult Search(const std::string& folder, const std::set<std::string>& names,
                          const std::atomic<bool>& cancelled, std::atomic<uint64_t>& folders);

private:
    std::atomic<bool> FCancelled{false};
    // Release after the result is complete; read with acquire.
    std::atomic<bool> FDone{false};
    std::atomic<uint64_t> FFolders{0};
    TResult FResult;
    std::thread FThread;
};
