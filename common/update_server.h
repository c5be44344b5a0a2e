#pragma once

#include <string>
#include <string_view>

namespace update_server {

// The update server's base URL without a trailing "/": the environment
// variable QUORVEL_UPDATE_SERVER when it is set and not empty, otherwise the
// value fixed at build time.
std::string baseUrl();

// baseUrl() followed by `path`, which begins with "/".
std::string url(std::string_view path);

inline constexpr std::string_view kVersionPath = "/software/zk_version.php";
inline constexpr std::string_view kManifestPath = "/software/zk_liveUpdate.xml";

// Passed by the dictionary as the updater's only argument.
inline constexpr std::string_view kLaunchToken = "DovKarn";

} // namespace update_server
