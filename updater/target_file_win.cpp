#include "target_file.h"

#include <array>
#include <stdexcept>
#include <streambuf>
#include <windows.h>

namespace target_file {

std::string nativePath(std::string_view appPath, std::string_view relative) {
    // The Windows file functions take both separators.
    return std::string(appPath) + std::string(relative);
}

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

std::string lastErrorText() {
    return "错误 " + std::to_string(GetLastError());
}

class HandleBuf : public std::streambuf {
public:
    explicit HandleBuf(HANDLE h) : h_(h) { setp(buf_.data(), buf_.data() + buf_.size()); }
    bool failed() const { return failed_; }

protected:
    int_type overflow(int_type ch) override {
        if (!drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain() ? 0 : -1; }

private:
    bool drain() {
        const char* p = pbase();
        DWORD left = static_cast<DWORD>(pptr() - pbase());
        while (left > 0 && !failed_) {
            DWORD n = 0;
            if (!WriteFile(h_, p, left, &n, nullptr) || n == 0) {
                failed_ = true;
                break;
            }
            p += n;
            left -= n;
        }
        setp(buf_.data(), buf_.data() + buf_.size());
        return !failed_;
    }

    HANDLE h_;
    bool failed_ = false;
    std::array<char, 64 * 1024> buf_{};
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
    d->h = CreateFileW(wide(d->path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (d->h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("无法创建临时文件 " + d->path + ": " + lastErrorText());
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
    const std::wstring tmp = wide(d->path);
    const std::wstring dst = wide(target);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (d->finished) {
        if (MoveFileExW(tmp.c_str(), dst.c_str(), kFlags))
            return true;
        // A running program (the updater itself, say) cannot be replaced but
        // can be moved aside; it is put back if the new file cannot follow.
        const std::wstring aside = dst + L".old";
        if (GetLastError() == ERROR_ACCESS_DENIED &&
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
