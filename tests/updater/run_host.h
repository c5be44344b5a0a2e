#pragma once
// The update run wired to the real HTTP client and the real file system,
// with the log, the start of the run file and the notice recorded.

#include "download.h"
#include "http_client.h"
#include "update_run.h"

#include <cstdlib>
#include <string>
#include <vector>

class RecordingHost : public update_run::Host {
public:
    explicit RecordingHost(std::string appPath) : appPath_(std::move(appPath)) {
        // The proxy comes from the environment on POSIX; tests talk to
        // loopback directly.
        unsetenv("http_proxy");
        unsetenv("HTTP_PROXY");
        client.setConnectTimeout(std::chrono::seconds(10));
    }

    HttpClient client;
    std::vector<std::string> log;
    std::vector<std::string> started;
    int notices = 0;
    int progressResets = 0;

    std::optional<manifest::Document> loadManifest(const std::string& url) override {
        return update_run::LoadManifest(client, url);
    }
    void resetProgress() override { ++progressResets; }
    void addLogLine(const std::string& line) override { log.push_back(line); }
    void appendToLastLogLine(const std::string& text) override { log.back() += text; }
    bool downloadFile(const std::string& url, const std::string& target) override {
        return download::DownloadFile(client, appPath_, url, target);
    }
    void startRunFile(const std::string& path) override { started.push_back(path); }
    void showFailureNotice() override { ++notices; }

private:
    std::string appPath_;
};
