#include "updater_image.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Defined by updater_image_blob_posix.cpp, which only the program (and the
// tests that want the image) link in; without it there is no resource.
extern "C" {
extern const unsigned char quorvel_update_image_begin[] __attribute__((weak));
extern const unsigned char quorvel_update_image_end[] __attribute__((weak));
}

namespace updater_image {

std::optional<std::span<const std::byte>> findResource(std::string_view type,
                                                       std::string_view name) {
    if (quorvel_update_image_begin == nullptr || quorvel_update_image_end == nullptr)
        return std::nullopt;
    const std::array<EmbeddedResource, 1> table{{{
        "DATA",
        "UPDATE",
        std::as_bytes(std::span(quorvel_update_image_begin, quorvel_update_image_end)),
    }}};
    return findIn(table, type, name);
}

namespace {

bool writeAll(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

// Puts the finished file in place without ever replacing what is there.
bool placeWithoutReplacing(const std::string& from, const std::string& to) {
    if (::link(from.c_str(), to.c_str()) == 0)
        return true;
    if (errno == EEXIST)
        return false;
    // File systems without hard links.
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

} // namespace

bool writeNewFile(const std::string& path, std::span<const std::byte> bytes) {
    // The content goes to a file of its own beside the target first, so that
    // a write cut short (a full disk, a killed process) never leaves a
    // partial file that would stand in for the updater on every later start.
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = path + ".part-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && placeWithoutReplacing(temp, path);
    ::unlink(temp.c_str());
    return ok;
}

} // namespace updater_image
