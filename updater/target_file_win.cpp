#include "target_file.h"

#include "platform_win.h"
#include "text.h"
#include "write_through_buf.h"

#include <stdexcept>

namespace target_file {

std::string nativePath(std::string_view appPath, std::string_view relative) {
    return std::string(appPath) + text::replaceAll(relative, "/", "\\");
}

namespace {

std::string errorText(DWORD error) {
    return "错误 " + std::to_string(error);
}

class HandleBuf : public WriteThroughBuf {
public:
    explicit HandleBuf(HANDLE h) : h_(h) {}

protected:
    std::ptrdiff_t writeSome(const char* data, std::size_t size) override {
        DWORD n = 0;
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        if (!WriteFile(h_, data, chunk, &n, nullptr))
            return -1;
        return static_cast<std::ptrdiff_t>(n);
    }

private:
    HANDLE h_;
};

} // namespace

struct TemporaryFile::Impl {
    std::string path;
    HANDLE h = INVALID_HANDLE_VALUE;
    std::unique_ptr<HandleBuf> buf;
    std::unique_ptr<std::ostream> out;
    bool finished = false;
};

TemporaryFile::TemporaryFile(std::string path) : d(std::make_unique<Impl>()) {
    d->path = std::move(path);
    // Share mode 0: a file that another program holds open cannot be had,
    // and is then not cut either.
    d->h = CreateFileW(platform::widen(d->path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (d->h == INVALID_HANDLE_VALUE) {
        // Taken first: building the message may touch the thread's last error.
        const DWORD error = GetLastError();
        throw std::runtime_error("无法创建临时文件 " + d->path + ": " + errorText(error));
    }
    d->buf = std::make_unique<HandleBuf>(d->h);
    d->out = std::make_unique<std::ostream>(d->buf.get());
}

TemporaryFile::~TemporaryFile() {
    if (d->h != INVALID_HANDLE_VALUE) {
        d->out->flush();
        CloseHandle(d->h);
    }
}

std::ostream& TemporaryFile::stream() {
    return *d->out;
}

const std::string& TemporaryFile::path() const {
    return d->path;
}

bool TemporaryFile::finish() {
    if (d->h == INVALID_HANDLE_VALUE)
        return d->finished;
    d->out->flush();
    bool ok = d->out->good() && !d->buf->failed();
    ok = FlushFileBuffers(d->h) && ok;
    ok = CloseHandle(d->h) && ok;
    d->h = INVALID_HANDLE_VALUE;
    d->finished = ok;
    return ok;
}

bool TemporaryFile::replace(const std::string& target) {
    // An unfinished file is still open, and an open file cannot be deleted.
    if (d->h != INVALID_HANDLE_VALUE) {
        CloseHandle(d->h);
        d->h = INVALID_HANDLE_VALUE;
    }
    const std::wstring tmp = platform::widen(d->path);
    const std::wstring dst = platform::widen(target);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (d->finished) {
        if (MoveFileExW(tmp.c_str(), dst.c_str(), kFlags))
            return true;
        const DWORD error = GetLastError();
        // A running program (the updater itself, say) cannot be replaced but
        // can be moved aside; it is put back if the new file cannot follow.
        // A folder in the target's place is refused the same way, and stays.
        const DWORD attributes = GetFileAttributesW(dst.c_str());
        const bool isFile =
            attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
        const std::wstring aside = dst + L".old";
        if (error == ERROR_ACCESS_DENIED && isFile &&
            MoveFileExW(dst.c_str(), aside.c_str(), kFlags)) {
            if (MoveFileExW(tmp.c_str(), dst.c_str(), kFlags)) {
                if (!DeleteFileW(aside.c_str()))
                    MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
                return true;
            }
            MoveFileExW(aside.c_str(), dst.c_str(), kFlags);
        }
    }
    DeleteFileW(tmp.c_str());
    return false;
}

bool makeRunnable(const std::string&) {
    return true;
}

} // namespace target_file
