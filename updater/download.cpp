#include "download.h"

#include "http_client.h"
#include "platform.h"
#include "target_file.h"
#include "text.h"

#include <cctype>
#include <exception>
#include <filesystem>
#include <system_error>

namespace download {

std::vector<std::string> SplitText(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    if (separator.empty()) {
        if (!text.empty())
            parts.emplace_back(text);
        return parts;
    }
    std::string_view rest = text;
    for (auto at = rest.find(separator); at != std::string_view::npos; at = rest.find(separator)) {
        parts.emplace_back(rest.substr(0, at));
        rest = rest.substr(at + separator.size());
    }
    if (!rest.empty())
        parts.emplace_back(rest);
    return parts;
}

bool ForceFolders(std::string_view path) {
    const auto parts = SplitText(text::replaceAll(path, "/", "\\"), "\\");
    if (parts.size() < 2)
        return false;
    const char sep = platform::pathSeparator();
    std::string folder;
    bool result = false;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        folder += parts[i];
        if (platform::folderExists(folder)) {
            result = true;
        } else {
            std::error_code ec;
            const std::filesystem::path p(std::u8string(folder.begin(), folder.end()));
            result = std::filesystem::create_directory(p, ec) && !ec;
        }
        folder += sep;
    }
    return result;
}

bool isInsideFolder(std::string_view relative) {
    if (relative.empty())
        return true;
    if (relative.front() == '/' || relative.front() == '\\')
        return false;
    if (relative.size() >= 2 && relative[1] == ':' &&
        std::isalpha(static_cast<unsigned char>(relative[0])))
        return false;
    int depth = 0;
    for (const auto& part : SplitText(text::replaceAll(relative, "/", "\\"), "\\")) {
        if (part == "..") {
            if (--depth < 0)
                return false;
        } else if (!part.empty() && part != ".") {
            ++depth;
        }
    }
    return true;
}

bool DownloadFile(HttpClient& client, const std::string& appPath, const std::string& url,
                  const std::string& targetFile) {
    if (!isInsideFolder(targetFile))
        return false;
    const std::string targetPath = target_file::nativePath(appPath, targetFile);
    if (!ForceFolders(targetPath))
        return false;

    // Left to the caller on purpose: a temporary file that cannot be had
    // ends the whole run.
    target_file::TemporaryFile tmp(targetPath + ".tmp");
    try {
        client.get(url, tmp.stream());
        const bool written = tmp.finish();
        client.disconnect();
        // Only a complete body that reached the disk may replace the target.
        return tmp.replace(targetPath) && written;
    } catch (const std::exception&) {
        client.disconnect();
        return false;
    }
}

} // namespace download
