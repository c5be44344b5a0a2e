// CP936 <-> UTF-8 through the Win32 code-page functions.
#include "text.h"

#include <windows.h>

namespace text {
namespace {

std::wstring toWide(UINT codePage, std::string_view s) {
    if (s.empty())
        return {};
    const int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string fromWide(UINT codePage, const std::wstring& w) {
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

} // namespace

// Without MB_ERR_INVALID_CHARS both directions substitute instead of
// failing: invalid CP936 becomes U+FFFD, and what CP936 lacks becomes "?".
std::string cp936ToUtf8(std::string_view bytes) { return fromWide(CP_UTF8, toWide(936, bytes)); }

std::string utf8ToCp936(std::string_view utf8) { return fromWide(936, toWide(CP_UTF8, utf8)); }

} // namespace text
