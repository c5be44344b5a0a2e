// The current user's Internet settings in the registry.
#include "internet_settings.h"

#include <stdexcept>
#include <vector>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace internet_settings {

namespace {

const char* const kKeyPath = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The key opened with full access, created when it does not exist; closed
// when the object goes, on success and on failure.
class SettingsKey {
public:
    SettingsKey() {
        LONG rc = RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        if (rc != ERROR_SUCCESS)
            throw std::runtime_error("the Internet settings key cannot be opened");
    }
    ~SettingsKey() { RegCloseKey(key_); }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

} // namespace

std::uint32_t proxyEnable() {
    SettingsKey key;
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key.get(), "ProxyEnable", nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("ProxyEnable cannot be read");
    if (type != REG_DWORD || size != sizeof(DWORD))
        throw std::runtime_error("ProxyEnable is not a number");
    DWORD value = 0;
    size = sizeof value;
    rc = RegQueryValueExA(key.get(), "ProxyEnable", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                          &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(DWORD))
        throw std::runtime_error("ProxyEnable cannot be read");
    return value;
}

std::string proxyServer() {
    SettingsKey key;
    // The value may change between asking its size and reading it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExA(key.get(), "ProxyServer", nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND)
            return {};
        if (rc != ERROR_SUCCESS)
            throw std::runtime_error("ProxyServer cannot be read");
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw std::runtime_error("ProxyServer is not text");
        if (size == 0)
            return {};
        std::vector<char> data(size + 1, '\0');
        DWORD got = size;
        rc = RegQueryValueExA(key.get(), "ProxyServer", nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc == ERROR_FILE_NOT_FOUND)
            return {};
        if (rc != ERROR_SUCCESS)
            throw std::runtime_error("ProxyServer cannot be read");
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            throw std::runtime_error("ProxyServer is not text");
        // Taken as stored, without expanding variables, up to the first zero.
        std::string value(data.data(), got);
        std::size_t zero = value.find('\0');
        if (zero != std::string::npos)
            value.resize(zero);
        return value;
    }
    throw std::runtime_error("ProxyServer keeps changing while it is read");
}

} // namespace internet_settings
