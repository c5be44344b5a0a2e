#pragma once
// The updater's command line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace command_line {

// Splits a whole command line as the updater has always read it: bytes 1 to
// 32 separate arguments, double quotes group (and are dropped), and "" makes
// an empty argument. The program path is the first element.
std::vector<std::string> split(std::string_view commandLine);

// The first argument after the program path, if any. On Windows it is taken
// from the process's whole command line through split(); elsewhere it is
// argv[1] as the shell handed it over.
std::optional<std::string> firstArgument(int argc, char** argv);

} // namespace command_line
