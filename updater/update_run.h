#pragma once
// The update run: the manifest walk and its decisions, apart from any
// widget, so that it runs the same in the window and in tests.

#include "manifest.h"

#include <optional>
#include <string>
#include <string_view>

class HttpClient;

namespace update_run {

inline constexpr std::string_view kStartLine = "系统正在升级......";
inline constexpr std::string_view kDownloadingSuffix = ": 正在下载......";
inline constexpr std::string_view kSucceeded = "成功!";
inline constexpr std::string_view kFailed = "失败!";
inline constexpr std::string_view kNoticeCaption = "系统升级提示";
inline constexpr std::string_view kNoticeText = "升级失败,请重新升级或重新安装.";

// The program that a run starts when the manifest names none: the
// dictionary beside the updater ("Quorvel.exe" on Windows).
std::string_view defaultRunFileName();

// What the run does to the world, one call each.
class Host {
public:
    virtual ~Host() = default;
    // The parsed manifest at `url`, or nothing when it cannot be had.
    virtual std::optional<manifest::Document> loadManifest(const std::string& url) = 0;
    virtual void resetProgress() = 0;
    virtual void addLogLine(const std::string& line) = 0;
    virtual void appendToLastLogLine(const std::string& text) = 0;
    // The download of one FILE entry; may throw to end the run.
    virtual bool downloadFile(const std::string& url, const std::string& targetFile) = 0;
    // Starts the run file, detached; its success is not examined.
    virtual void startRunFile(const std::string& path) = 0;
    // The failure notice; returns once the user closed it.
    virtual void showFailureNotice() = 0;
};

enum class Outcome {
    NoManifest,   // nothing logged, nothing started: the program just ends
    NoRoot,       // the manifest held no element at all: the program just ends
    Started,      // every download succeeded and the run file was started
    NothingToRun, // every download succeeded but there was no run file
    Failed,       // a download failed (or the run file lay outside): notice shown
};

// Runs the update once against the manifest at `manifestUrl`, for the
// updater's folder `appPath`. A FILE without SOURCEFILE or TARGETFILE, or a
// RUNFILE without FILE, throws manifest::ManifestError at that entry; an
// error of Host::downloadFile ends the run the same way.
Outcome run(Host& host, const std::string& appPath, const std::string& manifestUrl);

// LoadManifest: the system proxy applied to `client`, a GET of `url`, the
// body parsed. Nothing when `url` is empty or anything fails.
std::optional<manifest::Document> LoadManifest(HttpClient& client, const std::string& url);

// The real start of a run file: made executable where needed, then started
// detached, bare path, no arguments.
void startRunFile(const std::string& path);

} // namespace update_run
