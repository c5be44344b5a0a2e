#pragma once
// Helpers of the tests that start the built dictionary as a whole process in
// a folder of its own, against a scripted update server on 127.0.0.1.
// Message boxes go to a log file (QUORVEL_MESSAGE_LOG) instead of the screen.

#include "scripted_http_server.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace startup_harness {

namespace fs = std::filesystem;
using namespace test_files;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline const std::string kVersionPath = "/software/zk_version.php";
inline const std::string kNotice = "information\t系统升级提示\t发现新版本程序,需要升级.\n";

template <class Pred> inline bool waitFor(Pred done, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (!done()) {
        if (Clock::now() > end)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// How a run of the program ended.
struct Outcome {
    bool endedByItself = false;
    int exitCode = -1;
    bool windowBuilt = false;
    std::string diagnostics; // the program's standard error
};

// A temporary folder holding a copy of the built dictionary in "app/", a
// private runtime folder and the message log.
class QuorvelProcess : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quorvel-start-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        app = root / "app";
        fs::create_directory(app);
        fs::create_directory(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all);
        fs::copy_file(QUORVEL_PROGRAM, app / "Quorvel");
        fs::permissions(app / "Quorvel", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(root); }

    // Starts the program and watches it until it ends by itself or its
    // window is built (the WebEngine of its panes reports its start); a
    // program whose window was built and that still runs a second later is
    // then ended.
    Outcome run(const std::string& serverUrl) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string v = *e;
            const std::string name = v.substr(0, v.find('='));
            if (name != "http_proxy" && name != "HTTP_PROXY" && name != "QT_LOGGING_RULES" &&
                name != "XDG_RUNTIME_DIR" && name != "QT_QPA_PLATFORM" &&
                name.rfind("QTWEBENGINE_", 0) != 0 && name.rfind("QUORVEL_", 0) != 0)
                env.push_back(v);
        }
        env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("QTWEBENGINE_DISABLE_SANDBOX=1");
        env.push_back("QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu");
        // The updater's single-instance marker lives there: runs of other
        // tests must not see it.
        env.push_back("XDG_RUNTIME_DIR=" + (root / "runtime").string());
        env.push_back("QUORVEL_UPDATE_SERVER=" + serverUrl);
        env.push_back("QUORVEL_MESSAGE_LOG=" + messageLog().string());
        env.push_back("QT_LOGGING_RULES=qt.webenginecontext.debug=true");
        std::vector<char*> envp;
        for (auto& v : env)
            envp.push_back(v.data());
        envp.push_back(nullptr);
        const std::string program = (app / "Quorvel").string();
        const std::string errPath = (root / "stderr").string();
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0); // one group with the web engine's helpers, ended together
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            dup2(err, 1);
            execve(program.c_str(), argv, envp.data());
            _exit(127);
        }
        Outcome out;
        if (pid < 0)
            return out;
        int status = 0;
        const bool settled = waitFor(
            [&] {
                if (waitpid(pid, &status, WNOHANG) == pid) {
                    out.endedByItself = true;
                    return true;
                }
                return readFile(errPath).find(kWindowSign) != std::string::npos;
            },
            30s);
        if (!out.endedByItself) {
            // A window that opened keeps the program running.
            std::this_thread::sleep_for(1s);
            out.endedByItself = waitpid(pid, &status, WNOHANG) == pid;
        }
        if (!out.endedByItself) {
            kill(-pid, SIGTERM);
            if (!waitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 5s)) {
                kill(-pid, SIGKILL);
                waitpid(pid, &status, 0);
            }
        } else {
            kill(-pid, SIGKILL); // helpers left behind, if any
        }
        EXPECT_TRUE(settled) << "the program neither ended nor built its window";
        out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        out.diagnostics = readFile(errPath);
        out.windowBuilt = out.diagnostics.find(kWindowSign) != std::string::npos;
        return out;
    }

    fs::path messageLog() const { return root / "messages"; }

    static constexpr const char* kWindowSign = "qt.webenginecontext";

    fs::path root, app;
    ScriptedHttpServer server;
};

} // namespace startup_harness
