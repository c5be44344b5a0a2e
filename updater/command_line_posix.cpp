#include "command_line.h"

namespace command_line {

std::optional<std::string> firstArgument(int argc, char** argv) {
    if (argc < 2 || argv[1] == nullptr)
        return std::nullopt;
    return std::string(argv[1]);
}

} // namespace command_line
