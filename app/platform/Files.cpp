// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Files.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace files {
namespace {

// Temporary files are the target's name, this marker and six letters or digits (mkstemp's).
constexpr std::string_view kTemporaryMarker = ".qbtmp-";
constexpr std::size_t kTemporaryRandomLength = 6;
constexpr int kMaximumLinks = 40; // as the kernel's own limit for one path

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path with every symbolic link at its end followed (the target need not exist), or
// nothing for a loop or an unreadable link.
std::optional<std::string> finalTarget(std::string path) {
    for (int hops = 0; hops <= kMaximumLinks; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> buffer(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= buffer.size()) return std::nullopt;
        std::string target(buffer.data(), static_cast<std::size_t>(n));
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
    }
    return std::nullopt;
}

bool isOurTemporaryName(std::string_view entry, std::string_view fileName) {
    if (entry.size() != fileName.size() + kTemporaryMarker.size() + kTemporaryRandomLength ||
        !entry.starts_with(fileName) ||
        entry.substr(fileName.size(), kTemporaryMarker.size()) != kTemporaryMarker)
        return false;
    for (char c : entry.substr(fileName.size() + kTemporaryMarker.size()))
        if (!std::isalnum(static_cast<unsigned char>(c))) return false;
    return true;
}

void removeTemporariesOf(const std::string& path) {
    const std::string folder = folderOf(path);
    const std::string name = nameOf(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> found;
    while (const dirent* entry = ::readdir(dir))
        if (isOurTemporaryName(entry->d_name, name)) found.emplace_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& entry : found) {
        const std::string leftover = folder + "/" + entry;
        struct stat st {};
        if (::lstat(leftover.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid())
            ::unlink(leftover.c_str());
    }
}

bool writeAll(int fd, const std::string& content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Makes a finished rename survive a crash; a failure here does not undo the write.
void syncFolderOf(const std::string& path) {
    const std::string folder = folderOf(path);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// True when `path` is an owner-only regular file of ours that holds exactly `content`.
bool alreadyHolds(const std::string& path, const std::string& content) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
                (st.st_mode & 07777) == (S_IRUSR | S_IWUSR) &&
                static_cast<std::size_t>(st.st_size) == content.size();
    std::size_t offset = 0;
    char buffer[65536];
    while (same && offset < content.size()) {
        ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, content.size() - offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            same = false;
            break;
        }
        same = content.compare(offset, static_cast<std::size_t>(n), buffer,
                               static_cast<std::size_t>(n)) == 0;
        offset += static_cast<std::size_t>(n);
    }
    // A file that grew since the fstat is not the same either.
    if (same) same = ::read(fd, buffer, 1) == 0;
    ::close(fd);
    return same;
}

} // namespace

std::optional<std::string> readWhole(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string content;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return content;
}

bool writeAtomically(const std::string& linkOrPath, const std::string& content, Links links) {
    // Written through a link, so that a linked file (a dotfile manager's) stays linked.
    const std::optional<std::string> target =
        links == Links::WriteThrough ? finalTarget(linkOrPath) : linkOrPath;
    if (!target) return false;
    const std::string& path = *target;
    std::string temp = path + std::string(kTemporaryMarker) + "XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC); // created with mode 0600
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0 && writeAll(fd, content) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool writeAtomicallyIfChanged(const std::string& path, const std::string& content) {
    return alreadyHolds(path, content) || writeAtomically(path, content);
}

void removeLeftoverTemporaries(const std::string& path) {
    removeTemporariesOf(path);
    if (auto target = finalTarget(path); target && *target != path) removeTemporariesOf(*target);
}

bool remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace files
