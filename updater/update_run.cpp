#include "update_run.h"

#include "download.h"
#include "http_client.h"
#include "platform.h"
#include "system_proxy.h"
#include "target_file.h"

#include <exception>

#ifndef QUORVEL_RUN_FILE_NAME
#error "QUORVEL_RUN_FILE_NAME is set by the build"
#endif

namespace update_run {

std::string_view defaultRunFileName() {
    return QUORVEL_RUN_FILE_NAME;
}

Outcome run(Host& host, const std::string& appPath, const std::string& manifestUrl) {
    bool success = true;
    std::optional<std::string> runFile;

    const auto doc = host.loadManifest(manifestUrl);
    if (!doc)
        return Outcome::NoManifest;
    // An empty body parses but has nothing to walk; treat it as no update.
    if (!doc->hasRoot)
        return Outcome::NoRoot;

    host.resetProgress();
    host.addLogLine(std::string(kStartLine));

    for (const auto& node : doc->children) {
        if (node.name == "FILE") {
            const std::string source = manifest::requireText(node, "SOURCEFILE");
            const std::string target = manifest::requireText(node, "TARGETFILE");
            host.addLogLine(target + std::string(kDownloadingSuffix));
            const bool ok = host.downloadFile(source, target);
            host.appendToLastLogLine(std::string(ok ? kSucceeded : kFailed));
            if (!ok)
                success = false;
        } else if (node.name == "RUNFILE") {
            runFile = manifest::requireText(node, "FILE");
        }
    }

    const std::string relative = runFile ? *runFile : std::string(defaultRunFileName());
    // A run file outside the updater's folder is never started.
    if (!download::isInsideFolder(relative))
        success = false;

    if (!success) {
        host.showFailureNotice();
        return Outcome::Failed;
    }
    const std::string path = target_file::nativePath(appPath, relative);
    if (!platform::fileExists(path))
        return Outcome::NothingToRun;
    host.startRunFile(path);
    return Outcome::Started;
}

std::optional<manifest::Document> LoadManifest(HttpClient& client, const std::string& url) {
    if (url.empty())
        return std::nullopt;
    try {
        ApplySystemProxy(client);
        return manifest::parse(client.get(url));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void startRunFile(const std::string& path) {
    target_file::makeRunnable(path);
    platform::startDetached(path);
}

} // namespace update_run
