#include "TMediaNames.h"

#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Also a name with a drive letter, as a show written on Windows holds: absolute there, and
// meaningless relative to any folder here.
bool IsAbsolute(const std::string& name) {
    const bool driveName = name.size() >= 3 && std::isalpha(static_cast<unsigned char>(name[0])) &&
                           name[1] == ':' && (name[2] == '\\' || name[2] == '/');
    return driveName || fs::path(name).is_absolute();
}

} // namespace

std::string TMediaNames::Read(uint64_t identity, const std::string& stored,
                              const std::string& folder) {
    FRead[identity] = stored;
    return Resolved(stored, folder);
}

std::string TMediaNames::Stored(uint64_t identity, const std::string& fileName,
                                const std::string& folder) const {
    if (const auto read = FRead.find(identity);
        read != FRead.end() && Resolved(read->second, folder) == fileName)
        return read->second;
    return Relative(fileName, folder);
}

std::string TMediaNames::Resolved(const std::string& stored, const std::string& folder) {
    if (stored.empty() || folder.empty() || IsAbsolute(stored))
        return stored;
    return (fs::path(folder) / stored).lexically_normal().string();
}

std::string TMediaNames::Relative(const std::string& fileName, const std::string& folder) {
    const fs::path path(fileName);
    if (folder.empty() || !path.is_absolute())
        return fileName;
    const fs::path relative =
        path.lexically_normal().lexically_relative(fs::path(folder).lexically_normal());
    if (relative.empty() || relative == "." || *relative.begin() == "..")
        return fileName;
    return relative.generic_string();
}
