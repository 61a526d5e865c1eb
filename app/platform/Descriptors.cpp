// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Descriptors.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace descriptors {

bool readAvailable(int fd, std::string& into, std::size_t limit) {
    if (fd < 0) return false;
    char buffer[16384];
    while (limit > 0) {
        const ssize_t n = ::read(fd, buffer, std::min(limit, sizeof buffer));
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            limit -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false; // 0: end of file
    }
    return true;
}

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

bool makeOutputPipe(int fds[2]) {
#ifdef __linux__
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
#else
    if (::pipe(fds) != 0) return false;
    for (int i = 0; i < 2; ++i)
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
#endif
    setNonBlocking(fds[0]);
    return true;
}

} // namespace descriptors
