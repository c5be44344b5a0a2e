#include "update_server.h"

#include "platform.h"

#ifndef QUORVEL_DEFAULT_UPDATE_SERVER
#error "QUORVEL_DEFAULT_UPDATE_SERVER must be set by the build"
#endif

namespace update_server {

std::string baseUrl() {
    std::string base = platform::environment("QUORVEL_UPDATE_SERVER");
    if (base.empty())
        base = QUORVEL_DEFAULT_UPDATE_SERVER;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    return base;
}

std::string url(std::string_view path) { return baseUrl() + std::string(path); }

} // namespace update_server
