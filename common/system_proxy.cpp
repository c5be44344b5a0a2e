#include "system_proxy.h"

#include <limits>
#include <stdexcept>

#include "http_client.h"
#include "internet_settings.h"

namespace system_proxy {

namespace {
constexpr std::size_t kPortTextBytes = 10;

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

ProxyServerParts splitProxyServer(std::string_view value) {
    ProxyServerParts parts;
    std::size_t colon = value.find(':');
    if (colon == std::string_view::npos) {
        parts.portText.assign(value.substr(0, kPortTextBytes));
    } else {
        parts.host.assign(value.substr(0, colon));
        parts.portText.assign(value.substr(colon + 1, kPortTextBytes));
    }
    return parts;
}

// Decimal values must lie in the signed 32-bit range. Hexadecimal ones may
// use all 32 bits and are taken as that bit pattern, so "$FFFFFFFF" is -1
// while "4294967295" is refused; a minus sign negates the pattern.
std::int32_t parsePort(std::string_view text) {
    auto fail = [&]() -> std::int32_t {
        throw std::invalid_argument("\"" + std::string(text) + "\" is not a valid integer value");
    };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        hex = true;
        i += 1;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return fail();
    const std::uint64_t limit =
        hex ? 0xFFFFFFFFull : (negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1);
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        int v = digitValue(text[i], hex);
        if (v < 0)
            return fail();
        value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(v);
        if (value > limit)
            return fail();
    }
    std::uint32_t bits = static_cast<std::uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
}

} // namespace system_proxy

void ApplySystemProxy(HttpClient& client) {
    try {
        if (internet_settings::proxyEnable() != 1)
            return;
        auto parts = system_proxy::splitProxyServer(internet_settings::proxyServer());
        // The port is converted first: a bad one leaves the client untouched.
        std::int32_t port = system_proxy::parsePort(parts.portText);
        client.setProxyPort(port);
        client.setProxyHost(parts.host);
    } catch (...) {
        // No proxy, then: the request goes directly to the server.
    }
}
