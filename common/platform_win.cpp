#include "platform.h"

#include "platform_win.h"

namespace platform {
namespace {

DWORD attributes(const std::string& path) {
    return GetFileAttributesW(widen(path).c_str());
}

} // namespace

std::string executablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return narrow(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string applicationFolder() {
    const std::string exe = executablePath();
    const auto sep = exe.find_last_of("\\/");
    return sep == std::string::npos ? std::string(".\\") : exe.substr(0, sep + 1);
}

char pathSeparator() {
    return '\\';
}

bool fileExists(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool folderExists(const std::string& path) {
    const DWORD a = attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool startDetached(const std::string& program, const std::vector<std::string>& args) {
    std::string commandLine = args.empty() ? program : "\"" + program + "\"";
    for (const auto& a : args)
        commandLine += " " + a;
    std::wstring cmd = widen(commandLine);
    // The program is named on its own as well: an unquoted path with blanks
    // in the command line must never start "C:\Program.exe" or the like.
    const std::wstring application = widen(program);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(application.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

std::string environment(const char* name) {
    // The wide block: the C runtime's copy is in the ANSI code page, which
    // cannot hold every value and is not the programs' UTF-8.
    const std::wstring wideName = widen(name);
    std::wstring value(64, L'\0');
    for (;;) {
        const DWORD n = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                static_cast<DWORD>(value.size()));
        if (n == 0)
            return {}; // unset, or set to the empty text
        if (n < value.size()) {
            value.resize(n);
            return narrow(value);
        }
        value.resize(n); // n counts the terminating zero when it did not fit
    }
}

} // namespace platform
