#pragma once
// A stream buffer that holds one block and hands every full block, and the
// rest on flush, straight to the operating system; a failed write fails the
// stream. The platform part supplies writeSome().

#include <array>
#include <cstddef>
#include <streambuf>

class WriteThroughBuf : public std::streambuf {
public:
    WriteThroughBuf() { setp(buf_.data(), buf_.data() + buf_.size()); }
    bool failed() const { return failed_; }

protected:
    // Writes up to `size` bytes and returns how many; zero or less is a failure.
    virtual std::ptrdiff_t writeSome(const char* data, std::size_t size) = 0;

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
        std::size_t left = static_cast<std::size_t>(pptr() - pbase());
        while (left > 0 && !failed_) {
            const std::ptrdiff_t n = writeSome(p, left);
            if (n <= 0) {
                failed_ = true;
                break;
            }
            p += n;
            left -= static_cast<std::size_t>(n);
        }
        setp(buf_.data(), buf_.data() + buf_.size());
        return !failed_;
    }

    bool failed_ = false;
    std::array<char, 64 * 1024> buf_{};
};
