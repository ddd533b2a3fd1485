#pragma once

#include <cstddef>
#include <string>

// File operations of the settings document. Each returns false with a reason in plain words
// (`failure`) instead of throwing.

// Larger files are not read: no settings document comes near it, and a hostile one must not
// exhaust the memory.
constexpr size_t MaxSettingsFileSize = 16 * 1024 * 1024;

// Reads a regular file of at most MaxSettingsFileSize bytes; never blocks on a pipe or device.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& failure);

// Replaces the file at `path` with `bytes` so that it is never seen half written: a temporary
// file in the same folder is written, flushed to disk and renamed over it. A symbolic link at
// `path` is kept; its target is replaced.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& failure);

// Keeps the file at `path` under a new name in `folder` ("Settings-unreadable-1.xml", "-2", ...),
// beside the file when `folder` is empty, never replacing an earlier copy; `keptName` receives
// the full path.
bool KeepCopy(const std::string& path, const std::string& folder, std::string& keptName,
              std::string& failure);
