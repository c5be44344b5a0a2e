#pragma once
// A fresh folder under the system's temporary folder, removed with all its
// content at the end of the test. path() ends with "/".

#include "test_files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quorvel-upd-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern + "/";
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + rel; }

private:
    std::string path_;
};

using test_files::readFile;
using test_files::writeFile;

inline bool exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

inline unsigned modeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0u;
}

// A test data file from tests/updater/data, with "@BASE@" replaced when
// `base` is given.
inline std::string dataFile(const std::string& name, const std::string& base = {}) {
    std::string s = readFile(std::string(UPDATER_TEST_DATA) + "/" + name);
    if (s.empty())
        throw std::runtime_error("missing test data " + name);
    if (base.empty())
        return s;
    for (auto at = s.find("@BASE@"); at != std::string::npos;
         at = s.find("@BASE@", at + base.size()))
        s.replace(at, 6, base);
    return s;
}
