#pragma once
// Windows only: between the programs' text (UTF-8, or bytes of another code
// page) and the UTF-16 that the wide Win32 functions take. Nothing fails:
// what cannot be converted becomes U+FFFD towards UTF-16 and "?" back.

#include <string>
#include <string_view>

#include <windows.h>

namespace platform {

inline std::wstring widen(std::string_view bytes, UINT codePage = CP_UTF8) {
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (n <= 0)
        return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), size, w.data(), n);
    return w;
}

inline std::string narrow(std::wstring_view w, UINT codePage = CP_UTF8) {
    if (w.empty())
        return {};
    const int size = static_cast<int>(w.size());
    // No "best fit" look-alikes in other code pages: what the code page
    // lacks becomes its default character, "?". UTF-8 takes no such flag.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n =
        WideCharToMultiByte(codePage, flags, w.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return {};
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, w.data(), size, s.data(), n, nullptr, nullptr);
    return s;
}

} // namespace platform
