// The `trelmo` executable: makes the single-instance check with nothing loaded but the C++
// runtime, so that a launch that hands its arguments to the running instance is quick. Only a
// launch that runs loads the application library (lib/trelmo beside the executable's bin/
// folder, the same in the build tree and installed) and runs it in this same process.
#include "StartUp.h"
#include "TInstanceRegistry.h"

#include <cstdio>
#include <dlfcn.h>
#include <filesystem>
#include <string>

namespace {

std::string ApplicationLibraryPath() {
    const std::filesystem::path exe = TInstanceRegistry::ExecutableIdentity();
    return (exe.parent_path().parent_path() / "lib" / "trelmo" / TrelmoApplicationLibrary).string();
}

// The function name of the application library, or none after saying why on standard error.
void* ApplicationFunction(const char* name) {
    static void* library = ::dlopen(ApplicationLibraryPath().c_str(), RTLD_LAZY | RTLD_LOCAL);
    void* function = library ? ::dlsym(library, name) : nullptr;
    if (!function)
        std::fprintf(stderr,
                     "trelmo: cannot load the application library: %s\n"
                     "Install Trelmo again: the library belongs at %s.\n",
                     ::dlerror(), ApplicationLibraryPath().c_str());
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
