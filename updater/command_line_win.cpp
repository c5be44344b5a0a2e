#include "command_line.h"

#include <windows.h>

namespace command_line {

std::optional<std::string> firstArgument(int, char**) {
    const wchar_t* wide = GetCommandLineW();
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::nullopt;
    std::string utf8(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), n, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(n - 1));
    const auto args = split(utf8);
    if (args.size() < 2)
        return std::nullopt;
    return args[1];
}

} // namespace command_line
