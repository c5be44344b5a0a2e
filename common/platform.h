#pragma once
// The thin layer over the operating system. One implementation per platform
// (platform_posix.cpp, platform_win.cpp), chosen in CMake.

#include <string>
#include <vector>

namespace platform {

// Full path of the running executable.
std::string executablePath();

// The folder of the running executable, always with a trailing separator.
std::string applicationFolder();

// The folder separator of this platform: "/" or "\\".
char pathSeparator();

// True when a regular file (not a folder) exists at `path`.
bool fileExists(const std::string& path);

// True when a folder exists at `path`.
bool folderExists(const std::string& path);

// Starts `program` detached, with its window shown normally, and returns at
// once without waiting. With no arguments the command line is the bare path;
// with arguments the path is quoted and the arguments follow, separated by
// blanks. Returns whether the start was handed to the system; callers that
// do not examine it may ignore it.
bool startDetached(const std::string& program, const std::vector<std::string>& args = {});

// Value of an environment variable, empty when it is unset.
std::string environment(const char* name);

} // namespace platform
