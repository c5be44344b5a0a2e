#pragma once
// Copies the user's system proxy setting into an HTTP client.

#include <cstdint>
#include <string>
#include <string_view>

class HttpClient;

namespace system_proxy {

struct ProxyServerParts {
    std::string host;     // before the first ":"; empty when there is none
    std::string portText; // at most 10 bytes after the first ":" (or from the start)
};

// Splits a "ProxyServer" value (already cut at its first zero byte).
ProxyServerParts splitProxyServer(std::string_view value);

// The port rule: leading spaces, at most one sign, then decimal digits or
// hexadecimal digits after "$", "x", "X", "0x" or "0X"; nothing after them;
// the value fits in 32 bits. Throws std::invalid_argument otherwise.
std::int32_t parsePort(std::string_view text);

} // namespace system_proxy

// Reads the proxy from the user's Internet settings and, when it is enabled,
// sets the client's proxy port and then host. Swallows every error, leaving
// the client as it was.
void ApplySystemProxy(HttpClient& client);
