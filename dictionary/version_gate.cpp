#include "version_gate.h"

#include "http_client.h"
#include "system_proxy.h"
#include "text.h"
#include "update_server.h"

#include <chrono>

namespace version_gate {

std::string latestVersionFromReply(std::string_view body) {
    if (body.size() > kCurrentVersion.size())
        return std::string(kCurrentVersion);
    return std::string(body);
}

bool isNewer(std::string_view latest) {
    return text::compareVersions(latest, kCurrentVersion) > 0;
}

int runStartup(const StartupSteps& steps) {
    if (!steps.extractUpdater())
        return 0;
    if (!isNewer(steps.latestVersion()))
        return steps.runWindow();
    steps.notifyUpgrade();
    steps.startUpdater();
    return 0;
}

} // namespace version_gate

std::string GetLatestVersion() {
    using namespace std::chrono_literals;
    try {
        HttpClient client;
        // Start-up waits for this request with no window yet; a server that
        // never answers must not keep the dictionary from opening.
        client.setConnectTimeout(5s);
        client.setTotalTimeout(10s);
        ApplySystemProxy(client);
        client.disconnect();
        const std::string body = client.get(update_server::url(update_server::kVersionPath));
        client.disconnect();
        return version_gate::latestVersionFromReply(body);
    } catch (...) {
        return std::string(version_gate::kCurrentVersion);
    }
}
