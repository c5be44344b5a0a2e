// The current user's Internet settings in the registry.
#include "internet_settings.h"

#include "platform_win.h"

#include <stdexcept>
#include <vector>

namespace internet_settings {

namespace {

const wchar_t* const kKeyPath = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// The key opened with full access, created when it does not exist; closed
// when the object goes, on success and on failure.
class SettingsKey {
public:
    SettingsKey() {
        LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
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
    LONG rc = RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("ProxyEnable cannot be read");
    if (type != REG_DWORD || size != sizeof(DWORD))
        throw std::runtime_error("ProxyEnable is not a number");
    DWORD value = 0;
    size = sizeof value;
    rc = RegQueryValueExW(key.get(), L"ProxyEnable", nullptr, &type,
                          reinterpret_cast<BYTE*>(&value), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(DWORD))
        throw std::runtime_error("ProxyEnable cannot be read");
    return value;
}

namespace {

// Both reads of the value: it may change between them.
void checkServerRead(LONG rc, DWORD type) {
    if (rc != ERROR_SUCCESS)
        throw std::runtime_error("ProxyServer cannot be read");
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        throw std::runtime_error("ProxyServer is not text");
}

} // namespace

std::string proxyServer() {
    SettingsKey key;
    // Read wide and handed on as UTF-8, the programs' text: the ANSI call
    // would give bytes of the system code page. The value may change
    // between asking its size and reading it.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        LONG rc = RegQueryValueExW(key.get(), L"ProxyServer", nullptr, &type, nullptr, &size);
        if (rc == ERROR_FILE_NOT_FOUND)
            return {};
        checkServerRead(rc, type);
        if (size == 0)
            return {};
        // Rounded up: a stored value need not be a whole number of UTF-16
        // units, nor end in a zero.
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, L'\0');
        DWORD got = size;
        rc = RegQueryValueExW(key.get(), L"ProxyServer", nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc == ERROR_FILE_NOT_FOUND)
            return {};
        checkServerRead(rc, type);
        // Taken as stored, without expanding variables, up to the first zero.
        std::wstring_view value(data.data(), got / sizeof(wchar_t));
        const std::size_t zero = value.find(L'\0');
        if (zero != std::wstring_view::npos)
            value = value.substr(0, zero);
        return platform::narrow(value);
    }
    throw std::runtime_error("ProxyServer keeps changing while it is read");
}

} // namespace internet_settings
