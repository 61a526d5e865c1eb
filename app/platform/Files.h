#pragma once

#include <optional>
#include <string>

namespace files {

// The whole file, or nothing when it is missing or unreadable.
std::optional<std::string> readWhole(const std::string& path);

// Replaces the file in one step: a temporary file in the same folder, fsync, rename.
// The result has mode 0600. Returns false on any failure (the old file is then untouched).
bool writeAtomically(const std::string& path, const std::string& content);

// writeAtomically, skipped (answering true) when the file already holds exactly `content` as
// an owner-only regular file of ours: the result is the same, without the write and its fsyncs.
bool writeAtomicallyIfChanged(const std::string& path, const std::string& content);

// Removes the file; a missing file is not an error. Returns false on other failures.
bool remove(const std::string& path);

} // namespace files
