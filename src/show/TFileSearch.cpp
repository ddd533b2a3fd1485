#include "TFileSearch.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

TFileSearch::~TFileSearch() {
    Cancel();
    if (FThread.joinable())
        FThread.join();
}

void TFileSearch::Start(const std::string& folder, std::set<std::string> names,
                        std::function<void()> onDone) {
    FThread = std::thread([this, folder, names = std::move(names), onDone = std::move(onDone)] {
        FResult = Search(folder, names, FCancelled, FFolders);
        FDone.store(true, std::memory_order_release);
        if (onDone)
            onDone();
    });
}

TFileSearch::TResult TFileSearch::Search(const std::string& folder,
                                         const std::set<std::string>& names,
                                         const std::atomic<bool>& cancelled,
                                         std::atomic<uint64_t>& folders) {
    TResult result;
    std::error_code ec;
    fs::recursive_directory_iterator entry(folder, fs::directory_options::skip_permission_denied,
                                           ec);
    for (; !ec && entry != fs::recursive_directory_iterator() && !cancelled; entry.increment(ec)) {
        if (entry->is_directory(ec) && !entry->is_symlink(ec)) {
            ++folders;
            continue;
        }
        const std::string name = entry->path().filename().string();
        if (names.contains(name) && entry->is_regular_file(ec))
            result[name].push_back({entry->path().string(), entry.depth()});
    }
    for (auto& [name, places] : result)
        std::ranges::sort(places, [](const TPlace& a, const TPlace& b) {
            return a.Depth != b.Depth ? a.Depth < b.Depth : a.Path < b.Path;
        });
    return result;
}
