// Without a registry, the proxy comes from the environment in the form that
// command-line tools use: http_proxy, else HTTP_PROXY.
#include "internet_settings.h"

#include <cstdlib>
#include <string_view>

namespace internet_settings {

namespace {
std::string environmentProxy() {
    for (const char* name : {"http_proxy", "HTTP_PROXY"}) {
        const char* v = std::getenv(name);
        if (v && *v)
            return v;
    }
    return {};
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (a != prefix[i])
            return false;
    }
    return true;
}
} // namespace

std::uint32_t proxyEnable() {
    return environmentProxy().empty() ? 0 : 1;
}

std::string proxyServer() {
    std::string v = environmentProxy();
    if (startsWithNoCase(v, "http://"))
        v.erase(0, 7);
    if (!v.empty() && v.back() == '/')
        v.pop_back();
    return v;
}

} // namespace internet_settings
