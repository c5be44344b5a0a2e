#pragma once
// Downloading one file of the manifest below the updater's folder.

#include <string>
#include <string_view>
#include <vector>

class HttpClient;

namespace download {

// Splits at every occurrence of `separator`; an empty last part is dropped,
// other empty parts stay: a\b\c gives a, b, c; a\b\ gives a, b; a\\b gives
// a, "", b; \a gives "", a.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// Makes sure the folder that directly holds `path` exists, creating each
// missing folder on the way. Both "/" and "\" separate. False for a path of
// fewer than two parts, or when the folder could not be created.
bool ForceFolders(std::string_view path);

// True when a manifest path stays inside the updater's folder: not
// absolute, no drive or server name, and no ".." that climbs above it.
bool isInsideFolder(std::string_view relative);

// Fetches `url` into the updater's folder `appPath` as `targetFile`, through
// the temporary file targetFile + ".tmp". True once the complete body has
// replaced the target. A failed transfer leaves the target as it was (the
// temporary file stays, incomplete); a target outside the folder is refused
// before anything is created. Throws when the temporary file cannot be
// created or is held by another program.
bool DownloadFile(HttpClient& client, const std::string& appPath, const std::string& url,
                  const std::string& targetFile);

} // namespace download
