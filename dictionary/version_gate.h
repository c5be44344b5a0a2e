#pragma once
// The start-up decision of the dictionary: is a newer version on the update
// server, and what happens then.

#include <functional>
#include <string>
#include <string_view>

namespace version_gate {

// The version this build of the dictionary calls its own.
inline constexpr std::string_view kCurrentVersion = "1.2.0.0";

// The latest version named by a successful version reply. A reply longer
// than the current version's 7 bytes counts as the current version, so
// "1.2.0.1\r\n" and "1.10.0.0" offer no update.
std::string latestVersionFromReply(std::string_view body);

// True when `latest` sorts after the current version byte by byte.
bool isNewer(std::string_view latest);

// The steps of start-up, injected so that their order can be tested without
// a window or a server.
struct StartupSteps {
    std::function<bool()> extractUpdater; // false ends start-up silently
    std::function<std::string()> latestVersion;
    std::function<void()> notifyUpgrade; // returns once the notice is closed
    std::function<void()> startUpdater;  // detached; its result is not examined
    std::function<int()> runWindow;      // the main window's message loop
};

// Runs start-up and returns the program's exit code: 0 when the updater
// cannot be written or after handing over to the updater, otherwise the
// result of the window's loop.
int runStartup(const StartupSteps& steps);

} // namespace version_gate

// Asks the update server for the latest version. Every failure (no server,
// a status outside 200..299, a redirect, a wait longer than the bounds)
// gives the current version.
std::string GetLatestVersion();
