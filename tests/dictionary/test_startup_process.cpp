// The dictionary program started as a whole process in a folder of its own,
// against a scripted update server on 127.0.0.1. Message boxes go to a log
// file (QUORVEL_MESSAGE_LOG); a small script stands in as the updater and
// records how it was started.

#include "scripted_http_server.h"

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
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kVersionPath = "/software/zk_version.php";
const std::string kNotice = "information\t系统升级提示\t发现新版本程序,需要升级.\n";

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

// Compares two files without printing megabytes of an executable on failure.
::testing::AssertionResult sameContent(const fs::path& a, const fs::path& b) {
    const std::string x = readFile(a), y = readFile(b);
    if (x == y)
        return ::testing::AssertionSuccess();
    const auto diff = std::mismatch(x.begin(), x.end(), y.begin(), y.end());
    return ::testing::AssertionFailure()
           << a << " (" << x.size() << " bytes) differs from " << b << " (" << y.size()
           << " bytes) from byte " << (diff.first - x.begin());
}

std::uint16_t closedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    close(s);
    return ntohs(a.sin_port);
}

template <class Pred> bool waitFor(Pred done, std::chrono::milliseconds timeout) {
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

class StartupProcess : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quorvel-start-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
        app = root / "app";
        fs::create_directory(app);
        fs::copy_file(QUORVEL_PROGRAM, app / "Quorvel");
        fs::permissions(app / "Quorvel", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(root); }

    // An updater of any content stands beside the program; it records its
    // arguments and the boxes shown before it ran.
    void installRecordingUpdater() {
        writeFile(app / "Update", "#!/bin/sh\n"
                                  "cp \"$QUORVEL_MESSAGE_LOG\" '" +
                                      (root / "notices-at-start").string() +
                                      "' 2>/dev/null\n"
                                      "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } "
                                      "> '" +
                                      (root / "argv.part").string() +
                                      "'\n"
                                      "mv '" +
                                      (root / "argv.part").string() + "' '" +
                                      (root / "argv").string() + "'\n");
        fs::permissions(app / "Update", fs::perms::owner_all);
        updaterScript = readFile(app / "Update");
    }

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
                name != "QUORVEL_UPDATE_SERVER" && name != "QUORVEL_MESSAGE_LOG")
                env.push_back(v);
        }
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
    std::string updaterScript;
    ScriptedHttpServer server;
};

struct GateCase {
    const char* name;
    std::string reply; // exact bytes; ignored when the server is down
    bool serverDown;
    bool offered;
};

std::ostream& operator<<(std::ostream& os, const GateCase& c) {
    return os << c.name;
}

class StartupGate : public StartupProcess, public ::testing::WithParamInterface<GateCase> {};

} // namespace

TEST_P(StartupGate, OffersTheUpdateOrOpensTheWindow) {
    const GateCase& c = GetParam();
    installRecordingUpdater();
    server.route(kVersionPath, ScriptedReply{c.reply});
    server.route("/elsewhere", ScriptedReply{ScriptedHttpServer::ok("1.2.0.1")});
    const std::string url =
        c.serverDown ? "http://127.0.0.1:" + std::to_string(closedPort()) : server.baseUrl();

    const Outcome out = run(url);
    EXPECT_EQ(readFile(app / "Update"), updaterScript) << "the existing updater was touched";
    if (!c.serverDown) {
        EXPECT_EQ(server.requests().size(), 1u);
    }

    if (c.offered) {
        EXPECT_TRUE(out.endedByItself);
        EXPECT_EQ(out.exitCode, 0);
        EXPECT_FALSE(out.windowBuilt) << out.diagnostics;
        EXPECT_EQ(readFile(messageLog()), kNotice);
        ASSERT_TRUE(waitFor([&] { return fs::exists(root / "argv"); }, 10s))
            << "the updater was not started";
        EXPECT_EQ(readFile(root / "argv"), "1\n[DovKarn]\n");
        EXPECT_EQ(readFile(root / "notices-at-start"), kNotice)
            << "the notice did not come before the updater";
    } else {
        EXPECT_FALSE(out.endedByItself) << out.diagnostics;
        EXPECT_TRUE(out.windowBuilt) << out.diagnostics;
        EXPECT_EQ(readFile(messageLog()).find("系统升级提示"), std::string::npos);
        EXPECT_FALSE(fs::exists(root / "argv")) << "the updater was started";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, StartupGate,
    ::testing::Values(
        GateCase{"OwnVersion", ScriptedHttpServer::ok("1.2.0.0"), false, false},
        GateCase{"Newer", ScriptedHttpServer::ok("1.2.0.1"), false, true},
        GateCase{"NewerWithCrLf", ScriptedHttpServer::ok("1.2.0.1\r\n"), false, false},
        GateCase{"NewerWithLf", ScriptedHttpServer::ok("1.2.0.1\n"), false, false},
        GateCase{"EightBytes", ScriptedHttpServer::ok("1.10.0.0"), false, false},
        GateCase{"EmptyBody", ScriptedHttpServer::ok(""), false, false},
        GateCase{"NoVersionAtAll", ScriptedHttpServer::ok("error"), false, true},
        GateCase{"RedirectToNewer",
                 ScriptedHttpServer::reply(302, "Found", "", {"Location: /elsewhere"}), false,
                 false},
        GateCase{"ServerError", ScriptedHttpServer::reply(500, "Internal Server Error", "1.2.0.1"),
                 false, false},
        GateCase{"ServerDown", "", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupProcess, WritesAMissingUpdaterByteForByte) {
    const Outcome out = run("http://127.0.0.1:" + std::to_string(closedPort()));
    EXPECT_TRUE(out.windowBuilt) << out.diagnostics;
    EXPECT_TRUE(sameContent(app / "Update", QUORVEL_BUILT_UPDATER));
    EXPECT_EQ(fs::status(app / "Update").permissions() & fs::perms::owner_exec,
              fs::perms::owner_exec);
}

TEST_F(StartupProcess, EndsSilentlyWhenTheUpdaterCannotBeWritten) {
    // A folder where the updater belongs can be neither used nor replaced.
    fs::create_directory(app / "Update");
    server.route(kVersionPath, ScriptedReply{ScriptedHttpServer::ok("1.2.0.1")});
    const Outcome out = run(server.baseUrl());
    EXPECT_TRUE(out.endedByItself);
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_FALSE(out.windowBuilt);
    EXPECT_FALSE(fs::exists(messageLog()));
    EXPECT_EQ(server.requests().size(), 0u) << "the version was asked for all the same";
}
