// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace files {

// The whole file, or nothing when it is missing or unreadable.
std::optional<std::string> readWhole(const std::string& path);

// Replaces the file in one step: a temporary file in the same folder, fsync, rename.
// The result has mode 0600. Returns false on any failure (the old file is then untouched).
// A symbolic link is written through: its final target is replaced and the link stays.
// Links::Replace replaces a link itself, for a file that is soon removed again.
enum class Links { WriteThrough, Replace };
bool writeAtomically(const std::string& path, const std::string& content,
                     Links links = Links::WriteThrough);

// Removes what a writeAtomically of `path` left behind when the process died before its
// rename: regular files named like its temporary files, beside the path and beside the link
// target. Nothing else is touched.
void removeLeftoverTemporaries(const std::string& path);

// writeAtomically, skipped (answering true) when the file already holds exactly `content` as
// an owner-only regular file of ours: the result is the same, without the write and its fsyncs.
bool writeAtomicallyIfChanged(const std::string& path, const std::string& content);

// Removes the file; a missing file is not an error. Returns false on other failures.
bool remove(const std::string& path);

} // namespace files
