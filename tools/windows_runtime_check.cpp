// Runs the Windows platform layer for real: check-windows-sources.sh builds
// it with the cross compiler and, where Wine is installed, runs it in a
// throw-away Wine prefix. It works in a folder "work" beside itself, and
// puts the two Internet settings values back as it found them.
// Usage: windows_runtime_check.exe DovKarn
#include "command_line.h"
#include "instance_marker.h"
#include "internet_settings.h"
#include "platform.h"
#include "platform_win.h"
#include "target_file.h"
#include "text.h"
#include "updater_image.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

int failures = 0;

void check(bool ok, const char* what, int line) {
    if (!ok) {
        std::printf("FAILED line %d: %s\n", line, what);
        ++failures;
    }
}
#define CHECK(cond) check((cond), #cond, __LINE__)

std::filesystem::path fsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string readAll(const std::string& path) {
    std::ifstream in(fsPath(path), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeAll(const std::string& path, const std::string& content) {
    std::ofstream(fsPath(path), std::ios::binary) << content;
}

bool throws(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception&) {
        return true;
    }
    return false;
}

void codec() {
    const std::string replacement = "\xEF\xBF\xBD";
    struct Case {
        std::string cp936;
        std::string utf8;
    };
    const std::vector<Case> decoding = {
        {"\xD6\xD0\xCE\xC4", "中文"},
        {"a\x81 b", "a" + replacement + " b"},             // lead byte, bad trail
        {"\xD6", replacement},                             // lead byte at the end
        {"\x81\x7F\xD6\xD0", replacement + "\x7F" + "中"}, // the next byte stays
        {"\x80", "\xE2\x82\xAC"},                          // the euro sign
    };
    for (const auto& c : decoding)
        CHECK(text::cp936ToUtf8(c.cp936) == c.utf8);
    const std::vector<Case> encoding = {
        {"\xD6\xD0\xCE\xC4", "中文"},
        {"a?b", "a\xF0\x9F\x98\x80"
                "b"}, // beyond the first plane: one "?"
        {"a?b", "a\xFF"
                "b"}, // invalid UTF-8
        {"a?b", "a\xC4\x80"
                "b"}, // no best-fit "A" for U+0100
    };
    for (const auto& c : encoding)
        CHECK(text::utf8ToCp936(c.utf8) == c.cp936);
}

void platformLayer(const std::string& work) {
    const std::string exe = platform::executablePath();
    CHECK(exe.size() > 4 && exe.substr(exe.size() - 4) == ".exe");
    const std::string folder = platform::applicationFolder();
    CHECK(!folder.empty() && folder.back() == '\\' && exe.rfind(folder, 0) == 0);
    CHECK(platform::fileExists(exe) && !platform::folderExists(exe));
    CHECK(platform::folderExists(work) && !platform::fileExists(work));
    CHECK(!platform::fileExists(work + "missing") && !platform::folderExists(work + "missing"));

    SetEnvironmentVariableW(L"QUORVEL_CHECK_TEXT", L"\u4e2d\u6587");
    CHECK(platform::environment("QUORVEL_CHECK_TEXT") == "中文");
    const std::string longValue(5000, 'x');
    SetEnvironmentVariableW(L"QUORVEL_CHECK_LONG", platform::widen(longValue).c_str());
    CHECK(platform::environment("QUORVEL_CHECK_LONG") == longValue);
    CHECK(platform::environment("QUORVEL_CHECK_UNSET").empty());
}

// One registry value, saved on construction and put back on destruction.
class SavedValue {
public:
    SavedValue(HKEY key, const wchar_t* name) : key_(key), name_(name) {
        DWORD size = 0;
        if (RegQueryValueExW(key_, name_, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
            data_.resize(size);
            existed_ = RegQueryValueExW(key_, name_, nullptr, &type_, data_.data(), &size) ==
                       ERROR_SUCCESS;
            data_.resize(size);
        }
    }
    ~SavedValue() {
        if (existed_)
            RegSetValueExW(key_, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(key_, name_);
    }
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

    void set(DWORD type, const void* data, DWORD size) {
        RegSetValueExW(key_, name_, 0, type, static_cast<const BYTE*>(data), size);
    }
    void remove() { RegDeleteValueW(key_, name_); }

private:
    HKEY key_;
    const wchar_t* name_;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
    bool existed_ = false;
};

void internetSettings() {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                        nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        check(false, "the Internet settings key can be opened", __LINE__);
        return;
    }
    {
        SavedValue enable(key, L"ProxyEnable");
        SavedValue server(key, L"ProxyServer");

        const DWORD one = 1;
        enable.set(REG_DWORD, &one, sizeof one);
        CHECK(internet_settings::proxyEnable() == 1);
        enable.set(REG_SZ, L"1", 2 * sizeof(wchar_t));
        CHECK(throws([] { internet_settings::proxyEnable(); }));
        enable.remove();
        CHECK(throws([] { internet_settings::proxyEnable(); }));

        struct Case {
            DWORD type;
            std::wstring stored; // with its zeros
            std::optional<std::string> read;
        };
        const std::vector<Case> cases = {
            {REG_SZ, std::wstring(L"proxyhost:8080\0", 15), "proxyhost:8080"},
            {REG_EXPAND_SZ, std::wstring(L"%TEMP%:1\0", 9), "%TEMP%:1"}, // not expanded
            {REG_SZ, std::wstring(L"a:1\0b:2\0", 8), "a:1"},             // cut at the zero
            {REG_SZ, std::wstring(L"a:1", 3), "a:1"},                    // no zero at all
            {REG_SZ, std::wstring(L"\u4e2d:1\0", 4), "中:1"},            // UTF-8
            {REG_SZ, std::wstring(), ""},                                // empty
            {REG_BINARY, std::wstring(L"a:1", 3), std::nullopt},         // not text
            {REG_MULTI_SZ, std::wstring(L"a:1\0\0", 5), std::nullopt},   // not text
        };
        for (const auto& c : cases) {
            server.set(c.type, c.stored.data(),
                       static_cast<DWORD>(c.stored.size() * sizeof(wchar_t)));
            if (c.read)
                CHECK(internet_settings::proxyServer() == *c.read);
            else
                CHECK(throws([] { internet_settings::proxyServer(); }));
        }
        server.remove();
        CHECK(internet_settings::proxyServer().empty());
    }
    RegCloseKey(key);
}

void marker() {
    CHECK(!InstanceMarker::anotherIsRunning());
    {
        InstanceMarker first;
        CHECK(first.isHeld());
        CHECK(InstanceMarker::anotherIsRunning());
        InstanceMarker second;
        CHECK(!second.isHeld());
    }
    CHECK(!InstanceMarker::anotherIsRunning());
}

void targetFile(const std::string& work) {
    CHECK(target_file::nativePath(work, "sub/dir\\a.txt") == work + "sub\\dir\\a.txt");
    const std::string target = work + "目标.txt";
    const std::string tmp = target + ".tmp";
    {
        target_file::TemporaryFile t(tmp);
        t.stream() << "new";
        CHECK(throws([&] { target_file::TemporaryFile again(tmp); })); // held, and not cut
        CHECK(t.finish());
        CHECK(t.replace(target));
    }
    CHECK(readAll(target) == "new" && !platform::fileExists(tmp));

    writeAll(tmp, "left over");
    {
        target_file::TemporaryFile t(tmp); // cut to nothing
        t.stream() << "newer";
        CHECK(t.finish() && t.replace(target));
    }
    CHECK(readAll(target) == "newer");

    {
        target_file::TemporaryFile t(tmp);
        t.stream() << "unfinished";
        CHECK(!t.replace(target));
        CHECK(!platform::fileExists(tmp));
    }
    CHECK(readAll(target) == "newer" && !platform::fileExists(tmp));

    const std::string folderTarget = work + "folder";
    CreateDirectoryW(platform::widen(folderTarget).c_str(), nullptr);
    {
        target_file::TemporaryFile t(folderTarget + ".tmp");
        t.stream() << "x";
        CHECK(t.finish());
        CHECK(!t.replace(folderTarget));
    }
    CHECK(platform::folderExists(folderTarget) && !platform::folderExists(folderTarget + ".old"));
    CHECK(!platform::fileExists(folderTarget + ".tmp"));
}

void updaterImage(const std::string& work) {
    const std::string expected = "stand-in for the updater image\n";
    const auto image = updater_image::findResource("data", "update");
    CHECK(image &&
          std::string(reinterpret_cast<const char*>(image->data()), image->size()) == expected);
    CHECK(updater_image::findResource("DaTa", "UpDaTe").has_value());
    CHECK(!updater_image::findResource("data", "other").has_value());

    const std::string updater = work + "更新.exe";
    CHECK(ExtractResourceFile("update", updater));
    CHECK(readAll(updater) == expected);
    writeAll(updater, "old");
    CHECK(ExtractResourceFile("update", updater)); // present: never touched
    CHECK(readAll(updater) == "old");
    if (image)
        CHECK(!updater_image::writeNewFile(updater, *image));
    CHECK(readAll(updater) == "old");
}

// A copy of this program in a folder with a blank and a Chinese name,
// started detached, writes its first argument, as the updater reads it,
// beside itself.
void startDetached(const std::string& work) {
    const std::string folder = work + "with blank 中\\";
    CreateDirectoryW(platform::widen(folder).c_str(), nullptr);
    const std::string copy = folder + "copy.exe";
    CHECK(CopyFileW(platform::widen(platform::executablePath()).c_str(),
                    platform::widen(copy).c_str(), FALSE));
    const std::string flag = folder + "started.txt";
    CHECK(platform::startDetached(copy, {"\"DovKarn\"", "child"}));
    for (int i = 0; i < 200 && readAll(flag).empty(); ++i)
        Sleep(50);
    CHECK(readAll(flag) == "DovKarn");
    CHECK(!platform::startDetached(work + "missing.exe"));
}

bool waitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 200; ++i) {
        if (done())
            return true;
        Sleep(50);
    }
    return false;
}

// The updater replaces itself when the manifest lists it: a program that is
// running cannot be written over.
void replaceRunning(const std::string& work) {
    const std::string folder = work + "running\\";
    CreateDirectoryW(platform::widen(folder).c_str(), nullptr);
    const std::string program = folder + "Update.exe";
    CHECK(CopyFileW(platform::widen(platform::executablePath()).c_str(),
                    platform::widen(program).c_str(), FALSE));
    writeAll(folder + "hold.txt", "x");
    CHECK(platform::startDetached(program, {"DovKarn", "hold"}));
    CHECK(waitFor([&] { return platform::fileExists(folder + "started.txt"); }));
    {
        target_file::TemporaryFile t(program + ".tmp");
        t.stream() << "replacement";
        CHECK(t.finish());
        CHECK(t.replace(program));
    }
    CHECK(readAll(program) == "replacement");
    CHECK(!platform::fileExists(program + ".tmp"));
    DeleteFileW(platform::widen(folder + "hold.txt").c_str());
}

} // namespace

int main(int argc, char** argv) {
    // Started by startDetached(): tell the parent, and with "hold" stay
    // running while "hold.txt" is there.
    if (argc > 2 && (std::string(argv[2]) == "child" || std::string(argv[2]) == "hold")) {
        const std::string folder = platform::applicationFolder();
        writeAll(folder + "started.txt",
                 command_line::firstArgument(argc, argv).value_or("(none)"));
        if (std::string(argv[2]) == "hold")
            waitFor([&] { return !platform::fileExists(folder + "hold.txt"); });
        return 0;
    }
    CHECK(command_line::firstArgument(argc, argv) == std::optional<std::string>("DovKarn"));

    const std::string work = platform::applicationFolder() + "work\\";
    CreateDirectoryW(platform::widen(work).c_str(), nullptr);
    codec();
    platformLayer(work);
    internetSettings();
    marker();
    targetFile(work);
    updaterImage(work);
    startDetached(work);
    replaceRunning(work);

    std::printf("%s: %d failure(s)\n", failures ? "FAILED" : "ok", failures);
    return failures ? 1 : 0;
}
