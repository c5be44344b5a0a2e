// CP936 <-> UTF-8 through iconv.
#include "text.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD"; // U+FFFD

// One conversion descriptor per call: iconv_t carries shift state and is
// not safe to share.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Iconv() { iconv_close(cd_); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts as much as it can; returns the errno that stopped it (0 at
    // the end of the input) and advances `in`.
    int convert(std::string_view& in, std::string& out) {
        char buffer[4096];
        while (!in.empty()) {
            char* src = const_cast<char*>(in.data());
            std::size_t srcLeft = in.size();
            char* dst = buffer;
            std::size_t dstLeft = sizeof buffer;
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            const int err = r == static_cast<std::size_t>(-1) ? errno : 0;
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            in.remove_prefix(in.size() - srcLeft);
            if (err != 0 && err != E2BIG)
                return err;
        }
        return 0;
    }

private:
    iconv_t cd_;
};

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0xC2)
        return 1;
    if (lead < 0xE0)
        return 2;
    if (lead < 0xF0)
        return 3;
    return lead < 0xF5 ? 4 : 1;
}

} // namespace

std::string cp936ToUtf8(std::string_view bytes) {
    Iconv conv("UTF-8", "CP936");
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    while (conv.convert(bytes, out) != 0) {
        // An invalid or incomplete sequence: mark it and go on after its
        // first byte, which keeps a valid pair that follows it intact.
        out += kReplacement;
        bytes.remove_prefix(1);
    }
    return out;
}

std::string utf8ToCp936(std::string_view utf8) {
    Iconv conv("CP936", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    while (conv.convert(utf8, out) != 0) {
        out += '?';
        // Skip the lead byte and only the continuation bytes that belong to
        // it, so that a truncated sequence does not swallow what follows.
        const std::size_t n = utf8SequenceLength(static_cast<unsigned char>(utf8.front()));
        std::size_t skip = 1;
        while (skip < n && skip < utf8.size() &&
               (static_cast<unsigned char>(utf8[skip]) & 0xC0) == 0x80)
            ++skip;
        utf8.remove_prefix(skip);
    }
    return out;
}

} // namespace text
