#pragma once

#include <cstddef>
#include <string>

// File operations of the settings document. Each returns false with a reason in plain words
// (`failure`) instead of throwing.

// Larger files are not read, so that a hostile one cannot exhaust the memory; and none are
// written, so that what Trelmo saves it can read back.
constexpr size_t MaxSettingsFileSize = 16 * 1024 * 1024;

// Reads a regular file of at most MaxSettingsFileSize bytes; never blocks on a pipe or device.
bool ReadWholeFile(const std::string& path, std::string& bytes, std::string& failure);

// Replaces the file at `path` with `bytes` so that it is never seen half written: a temporary
// file in the same folder is written, flushed to disk and renamed over it. A symbolic link at
// `path` is kept; its target is replaced, and a link whose target's folder is missing fails.
// More than MaxSettingsFileSize bytes are refused, leaving the file as it was.
bool WriteFileAtomically(const std::string& path, const std::string& bytes, std::string& failure);

// The file that a save to `path` replaces: `path` itself, or the end of the chain of symbolic
// links that starts there, which need not exist.
std::string LinkTarget(const std::string& path);

// Removes the temporary files that a save to `path` left when it was interrupted (the
// process killed while writing): only regular files of this user named as WriteFileAtomically
// names them. Only for the one process that writes `path`. Returns how many were removed.
int RemoveStaleTemporaries(const std::string& path);

// Keeps the file at `path` under a new name in `folder` ("Settings-unreadable-1.xml", "-2", ...),
// beside the file when `folder` is empty, never replacing an earlier copy; `keptName` receives
// the full path.
bool KeepCopy(const std::string& path, const std::string& folder, std::string& keptName,
              std::string& failure);
