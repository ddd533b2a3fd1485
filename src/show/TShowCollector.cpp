#include "TShowCollector.h"

#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

// `name` as it is, or with " (n)" before its extension, whichever is free first.
std::string FreeName(const fs::path& folder, const fs::path& name, std::set<std::string>& taken) {
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? name.string()
                                             : name.stem().string() + " (" + std::to_string(n) +
                                                   ")" + name.extension().string();
        std::error_code ec;
        if (!taken.contains(candidate) && !fs::exists(folder / candidate, ec)) {
            taken.insert(candidate);
            return (folder / candidate).string();
        }
    }
}

} // namespace

std::vector<TShowCollector::TCopy> TShowCollector::Plan(const std::vector<std::string>& files,
                                                        const std::string& mediaFolder) {
    std::vector<TCopy> copies;
    std::set<std::string> planned;
    std::set<std::string> taken;
    for (const std::string& file : files) {
        if (file.empty() || !planned.insert(file).second)
            continue;
        copies.push_back({file, FreeName(mediaFolder, fs::path(file).filename(), taken)});
    }
    return copies;
}

bool TShowCollector::CopyFile(const std::string& from, const std::string& to,
                              std::string& failure) {
    const std::string temporary = to + ".part";
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    if (!ec)
        fs::copy_file(from, temporary, fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::rename(temporary, to, ec);
    if (!ec)
        return true;
    fs::remove(temporary, ec);
    failure = "copying " + from + " to " + to + " failed: " + ec.message();
    return false;
}

TShowCollector::TShowCollector(TCopier copier) : FCopier(std::move(copier)) {}

TShowCollector::~TShowCollector() {
    Cancel();
    if (FThread.joinable())
        FThread.join();
}

void TShowCollector::Start(std::vector<TCopy> copies) {
    FThread = std::thread([this, copies = std::move(copies)] { Run(copies); });
}

void TShowCollector::Run(const std::vector<TCopy>& copies) {
    std::vector<std::string> made;
    std::string failure;
    bool ok = true;
    for (const TCopy& copy : copies) {
        if (FCancelled) {
            ok = false;
            failure = "cancelled";
            break;
        }
        if (!FCopier(copy.From, copy.To, failure)) {
            ok = false;
            break;
        }
        made.push_back(copy.To);
        ++FCopied;
    }
    if (!ok)
        for (const std::string& file : made) {
            std::error_code ec;
            fs::remove(file, ec);
        }
    FOk = ok;
    FFailure = failure;
    FDone.store(true, std::memory_order_release);
}
