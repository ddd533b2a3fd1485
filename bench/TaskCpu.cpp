#include "TaskCpu.h"

#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

double TaskCpuSeconds(const std::filesystem::path& statFile) {
    std::ifstream stat(statFile);
    std::string line;
    if (!std::getline(stat, line))
        return -1;
    // Fields 14 and 15 (utime, stime) follow the command name, which may hold spaces.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 13; ++i)
        fields >> field;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
}
