#include "command_line.h"

namespace command_line {

namespace {
bool isSeparator(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}
} // namespace

std::vector<std::string> split(std::string_view commandLine) {
    // A zero byte ends the line, as it would in the system's own string.
    const auto nul = commandLine.find('\0');
    if (nul != std::string_view::npos)
        commandLine = commandLine.substr(0, nul);

    std::vector<std::string> out;
    std::size_t i = 0;
    while (true) {
        while (i < commandLine.size() && isSeparator(commandLine[i]))
            ++i;
        if (i >= commandLine.size())
            break;
        std::string arg;
        bool quoted = false;
        while (i < commandLine.size() && (quoted || !isSeparator(commandLine[i]))) {
            if (commandLine[i] == '"')
                quoted = !quoted;
            else
                arg += commandLine[i];
            ++i;
        }
        out.push_back(std::move(arg));
    }
    return out;
}

} // namespace command_line
