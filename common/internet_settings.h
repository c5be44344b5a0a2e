#pragma once
// Where the two proxy values come from: on Windows the current user's
// Internet settings key in the registry; on POSIX the environment
// (http_proxy, then HTTP_PROXY).

#include <cstdint>
#include <string>

namespace internet_settings {

// "ProxyEnable" as a 32-bit number. Throws when it is missing or not a number.
std::uint32_t proxyEnable();

// "ProxyServer" as text, cut at its first zero byte; empty when missing or
// empty. Throws when it is not text.
std::string proxyServer();

} // namespace internet_settings
