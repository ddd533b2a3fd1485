// The `trelmo` executable: makes the single-instance check with nothing loaded but the C++
// runtime, so that a launch that hands its arguments to the running instance is quick. Only a
// launch that runs loads the application library (lib/trelmo beside the executable's bin/
// folder, the same in the build tree and installed) and runs it in this same process.
#include "StartUp.h"
#include "TInstanceRegistry.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ApplicationLibraryPath() {
    const std::filesystem::path exe = TInstanceRegistry::ExecutableIdentity();
    return (exe.parent_path().parent_path() / "lib" / "trelmo" / TrelmoApplicationLibrary).string();
}

bool ReadAt(int file, void* target, size_t size, off_t offset) {
    return ::pread(file, target, size, offset) == static_cast<ssize_t>(size);
}

// Why the library at path would be mapped past its end: a file cut short loads, then ends the
// process with a bus error at its first use. Empty when its loaded segments are all there, or
// when it is no 64-bit ELF file at all (dlopen says why then).
std::string CutShort(const std::string& path) {
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return {};
    struct stat info {};
    Elf64_Ehdr header{};
    std::string problem;
    if (::fstat(file, &info) == 0 && ReadAt(file, &header, sizeof header, 0) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
        header.e_ident[EI_CLASS] == ELFCLASS64) {
        for (int i = 0; i < header.e_phnum && problem.empty(); ++i) {
            Elf64_Phdr segment{};
            const auto at = static_cast<off_t>(header.e_phoff + i * header.e_phentsize);
            if (!ReadAt(file, &segment, sizeof segment, at) ||
                (segment.p_type == PT_LOAD &&
                 segment.p_offset + segment.p_filesz > static_cast<uint64_t>(info.st_size)))
                problem = "the file is cut short (" + std::to_string(info.st_size) + " bytes)";
        }
    }
    ::close(file);
    return problem;
}

void ReportUnloadable(const std::string& reason) {
    std::fprintf(stderr,
                 "trelmo: cannot load the application library: %s\n"
                 "Install Trelmo again: the library belongs at %s.\n",
                 reason.c_str(), ApplicationLibraryPath().c_str());
}

void* OpenApplicationLibrary() {
    const std::string problem = CutShort(ApplicationLibraryPath());
    if (!problem.empty()) {
        ReportUnloadable(ApplicationLibraryPath() + ": " + problem);
        return nullptr;
    }
    void* library = ::dlopen(ApplicationLibraryPath().c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        ReportUnloadable(::dlerror());
    return library;
}

// The function name of the application library, or none after saying why on standard error.
void* ApplicationFunction(const char* name) {
    static void* library = OpenApplicationLibrary();
    if (!library)
        return nullptr;
    void* function = ::dlsym(library, name);
    if (!function)
        ReportUnloadable(::dlerror());
    return function;
}

} // namespace

int main(int argc, char* argv[]) {
    const TApplicationEntry application{
        [](const TrelmoLaunch& launch) {
            auto* run = reinterpret_cast<decltype(&TrelmoRunApplication)>(
                ApplicationFunction(TrelmoRunApplicationName));
            return run ? run(&launch) : 1;
        },
        [](int count, char** arguments, const char* message) {
            auto* report = reinterpret_cast<decltype(&TrelmoReportApplicationError)>(
                ApplicationFunction(TrelmoReportApplicationErrorName));
            if (report)
                report(count, arguments, message);
            else
                std::fprintf(stderr, "trelmo: %s\n", message);
        }};
    return StartUp(argc, argv, application);
}
