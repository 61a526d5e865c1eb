// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>

namespace descriptors {

// Appends to `into` what the non-blocking descriptor holds now, at most `limit` bytes.
// False at end of file, on an error other than "would block", and for fd -1.
bool readAvailable(int fd, std::string& into, std::size_t limit);

// Makes a close-on-exec pipe whose read end is non-blocking.
bool makeOutputPipe(int fds[2]);

void setNonBlocking(int fd);

} // namespace descriptors
