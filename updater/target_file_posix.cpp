#include "target_file.h"

#include "text.h"
#include "write_through_buf.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace target_file {

std::string nativePath(std::string_view appPath, std::string_view relative) {
    return std::string(appPath) + text::replaceAll(relative, "\\", "/");
}

namespace {

class FdBuf : public WriteThroughBuf {
public:
    explicit FdBuf(int fd) : fd_(fd) {}

protected:
    std::ptrdiff_t writeSome(const char* data, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::write(fd_, data, size);
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int fd_;
};

mode_t currentUmask() {
    const mode_t m = umask(0);
    umask(m);
    return m;
}

void syncFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

struct TemporaryFile::Impl {
    std::string path;
    int fd = -1;
    std::unique_ptr<FdBuf> buf;
    std::unique_ptr<std::ostream> out;
    bool finished = false;

    void closeFd() {
        if (fd >= 0) {
            ::close(fd); // also drops the lock
            fd = -1;
        }
    }
};

TemporaryFile::TemporaryFile(std::string path) : d(std::make_unique<Impl>()) {
    d->path = std::move(path);
    // Cut only once the lock is ours: O_TRUNC would empty a file that
    // another opener is still writing.
    d->fd = ::open(d->path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (d->fd < 0)
        throw std::runtime_error("无法创建临时文件 " + d->path + ": " + std::strerror(errno));
    if (::flock(d->fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        d->closeFd();
        throw std::runtime_error("临时文件 " + d->path + " 正被占用: " + std::strerror(err));
    }
    if (::ftruncate(d->fd, 0) != 0) {
        const int err = errno;
        d->closeFd();
        throw std::runtime_error("无法清空临时文件 " + d->path + ": " + std::strerror(err));
    }
    d->buf = std::make_unique<FdBuf>(d->fd);
    d->out = std::make_unique<std::ostream>(d->buf.get());
}

TemporaryFile::~TemporaryFile() {
    if (d->fd >= 0) {
        d->out->flush();
        d->closeFd();
    }
}

std::ostream& TemporaryFile::stream() {
    return *d->out;
}

const std::string& TemporaryFile::path() const {
    return d->path;
}

bool TemporaryFile::finish() {
    if (d->fd < 0)
        return d->finished;
    d->out->flush();
    bool ok = d->out->good() && !d->buf->failed();
    ok = ::fsync(d->fd) == 0 && ok;
    ok = ::close(d->fd) == 0 && ok;
    d->fd = -1;
    d->finished = ok;
    return ok;
}

bool TemporaryFile::replace(const std::string& target) {
    if (!d->finished) {
        ::unlink(d->path.c_str());
        return false;
    }
    struct stat st {};
    const mode_t mode =
        ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 0777) : (0666 & ~currentUmask());
    if (::chmod(d->path.c_str(), mode) != 0 || ::rename(d->path.c_str(), target.c_str()) != 0) {
        ::unlink(d->path.c_str());
        return false;
    }
    syncFolderOf(target);
    return true;
}

bool makeRunnable(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_mode & S_IXUSR)
        return true;
    const mode_t mode = (st.st_mode & 07777) | S_IXUSR | ((st.st_mode & (S_IRGRP | S_IROTH)) >> 2);
    return ::chmod(path.c_str(), mode) == 0;
}

} // namespace target_file
