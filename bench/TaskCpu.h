#pragma once

#include <filesystem>

// User and system CPU seconds of one task (thread) as its /proc stat file tells them; -1 when the
// file cannot be read.
double TaskCpuSeconds(const std::filesystem::path& statFile);
