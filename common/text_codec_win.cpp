// CP936 <-> UTF-8 through the Win32 code-page functions.
#include "text.h"

#include "platform_win.h"

namespace text {
namespace {

constexpr UINT kCp936 = 936;
constexpr std::wstring_view kReplacement = L"\uFFFD";

// Byte by byte, as the POSIX side does: left to itself, the code-page
// function turns a bad pair into the code page's own default character and
// may swallow a valid byte after it.
std::wstring cp936ToWideMarkingInvalid(std::string_view bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    wchar_t unit[2];
    while (!bytes.empty()) {
        const auto lead = static_cast<BYTE>(bytes.front());
        const std::size_t length = IsDBCSLeadByteEx(kCp936, lead) && bytes.size() > 1 ? 2 : 1;
        const int n = MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, bytes.data(),
                                          static_cast<int>(length), unit, 2);
        if (n > 0) {
            out.append(unit, static_cast<std::size_t>(n));
            bytes.remove_prefix(length);
        } else {
            // Go on after the first byte, which keeps a valid pair that
            // follows it intact.
            out += kReplacement;
            bytes.remove_prefix(1);
        }
    }
    return out;
}

} // namespace

std::string cp936ToUtf8(std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return platform::narrow(cp936ToWideMarkingInvalid(bytes));
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(kCp936, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n);
    return platform::narrow(wide);
}

// Invalid UTF-8 becomes U+FFFD on the way in, which CP936 lacks; like every
// character it lacks, it comes out as "?". CP936 holds nothing beyond the
// first plane, and a pair of surrogates would give two.
std::string utf8ToCp936(std::string_view utf8) {
    std::wstring wide = platform::widen(utf8);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            wide[kept++] = kReplacement.front();
            ++i;
        } else {
            wide[kept++] = c;
        }
    }
    wide.resize(kept);
    return platform::narrow(wide, kCp936);
}

} // namespace text
