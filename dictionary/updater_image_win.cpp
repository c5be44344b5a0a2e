#include "updater_image.h"

#include "platform_win.h"

#include <string>

namespace updater_image {

std::optional<std::span<const std::byte>> findResource(std::string_view type,
                                                       std::string_view name) {
    // Resource compilers store names and types in capitals, and the lookup
    // raises what it is given; raised here as well, so that the match never
    // depends on the system's rule.
    const auto upper = [](std::string_view s) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return out;
    };
    const std::string typeText = upper(type);
    const std::string nameText = upper(name);
    HRSRC info = FindResourceA(nullptr, nameText.c_str(), typeText.c_str());
    if (!info)
        return std::nullopt;
    HGLOBAL handle = LoadResource(nullptr, info);
    const void* data = handle ? LockResource(handle) : nullptr;
    if (!data)
        return std::nullopt;
    const DWORD size = SizeofResource(nullptr, info);
    return std::span(static_cast<const std::byte*>(data), size);
}

namespace {

bool writeAll(HANDLE file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > (1u << 20) ? (1u << 20) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0)
            return false;
        bytes = bytes.subspan(written);
    }
    return true;
}

} // namespace

bool writeNewFile(const std::string& path, std::span<const std::byte> bytes) {
    // The content goes to a file of its own beside the target first, so that
    // a write cut short never leaves a partial updater in place.
    std::string temp;
    std::wstring wideTemp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp =
            path + ".part-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
        wideTemp = platform::widen(temp);
        file = CreateFileW(wideTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(file, bytes) && FlushFileBuffers(file);
    ok = CloseHandle(file) && ok;
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    ok = ok && MoveFileExW(wideTemp.c_str(), platform::widen(path).c_str(), MOVEFILE_WRITE_THROUGH);
    if (!ok)
        DeleteFileW(wideTemp.c_str());
    return ok;
}

} // namespace updater_image
