#include "text.h"

namespace text {
namespace {

bool isTrimmed(unsigned char c) {
    return c <= 32;
}

bool isContinuationByte(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

} // namespace

std::string trim(std::string_view s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isTrimmed(static_cast<unsigned char>(s[begin])))
        ++begin;
    while (end > begin && isTrimmed(static_cast<unsigned char>(s[end - 1])))
        --end;
    return std::string(s.substr(begin, end - begin));
}

bool isBlank(std::string_view s) {
    for (char c : s)
        if (!isTrimmed(static_cast<unsigned char>(c)))
            return false;
    return true;
}

std::string replaceAll(std::string_view s, std::string_view pattern, std::string_view replacement) {
    std::string out;
    out.reserve(s.size());
    appendReplacingAll(out, s, pattern, {replacement});
    return out;
}

void appendReplacingAll(std::string& out, std::string_view s, std::string_view pattern,
                        std::initializer_list<std::string_view> pieces) {
    if (pattern.empty()) {
        out.append(s);
        return;
    }
    std::size_t copied = 0;
    std::size_t pos = s.find(pattern);
    while (pos != std::string_view::npos) {
        if (isContinuationByte(static_cast<unsigned char>(s[pos]))) {
            pos = s.find(pattern, pos + 1);
            continue;
        }
        out.append(s.substr(copied, pos - copied));
        for (std::string_view piece : pieces)
            out.append(piece);
        copied = pos + pattern.size();
        pos = s.find(pattern, copied);
    }
    out.append(s.substr(copied));
}

int compareVersions(std::string_view a, std::string_view b) {
    a = a.substr(0, a.find('\0'));
    b = b.substr(0, b.find('\0'));
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

std::string errorBoxMessage(std::string_view message) {
    std::string out(message);
    if (!out.empty() && static_cast<unsigned char>(out.back()) > static_cast<unsigned char>('.'))
        out += '.';
    return out;
}

} // namespace text
