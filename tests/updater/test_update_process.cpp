// The built Update program, copied into a temporary folder and started as a
// process against the scripted server.

#include "scripted_http_server.h"
#include "temp_folder.h"
#include "update_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace std::chrono_literals;

namespace {

const std::string kManifest(update_server::kManifestPath);

ScriptedReply ok(const std::string& body) {
    return ScriptedReply{ScriptedHttpServer::ok(body)};
}

class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env) {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (const auto& e : env)
            envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
    }
    ~Process() {
        if (pid_ > 0 && !status_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }

    // The exit status, or nothing when the process is still running after
    // `timeout`.
    std::optional<int> wait(std::chrono::milliseconds timeout) {
        const auto until = std::chrono::steady_clock::now() + timeout;
        while (!status_) {
            int st = 0;
            const pid_t r = waitpid(pid_, &st, WNOHANG);
            if (r == pid_)
                status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
            else if (std::chrono::steady_clock::now() >= until)
                break;
            else
                std::this_thread::sleep_for(20ms);
        }
        return status_;
    }
    void terminate() { kill(pid_, SIGTERM); }
    bool started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

bool waitForFile(const std::string& path, std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (!exists(path)) {
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

} // namespace

class UpdateProcess : public ::testing::Test {
protected:
    ScriptedHttpServer server;
    TempFolder app;
    TempFolder runtime; // the marker's folder, private to this test
    std::string update = app / "Update";
    std::string messages = runtime / "messages.log";

    void SetUp() override {
        std::filesystem::copy_file(QUORVEL_BUILT_UPDATER, update);
        chmod(runtime.path().c_str(), 0700);
    }

    std::vector<std::string> environment() const {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string s = *e;
            for (const char* drop :
                 {"QUORVEL_", "XDG_RUNTIME_DIR=", "QT_QPA_PLATFORM=", "http_proxy=", "HTTP_PROXY="})
                if (s.rfind(drop, 0) == 0)
                    goto next;
            env.push_back(s);
        next:;
        }
        env.push_back("QT_QPA_PLATFORM=offscreen");
        env.push_back("XDG_RUNTIME_DIR=" + runtime.path());
        env.push_back("QUORVEL_UPDATE_SERVER=" + server.baseUrl());
        env.push_back("QUORVEL_MESSAGE_LOG=" + messages);
        return env;
    }

    Process start(const std::vector<std::string>& args) {
        return Process(update, args, environment());
    }

    void serveManifest(const std::string& body) {
        std::string b = body;
        for (auto at = b.find("@BASE@"); at != std::string::npos; at = b.find("@BASE@"))
            b.replace(at, 6, server.baseUrl());
        server.route(kManifest, ok(b));
    }

    // The dictionary as the update delivers it: a script that notes its start.
    static std::string runFileScript() { return "#!/bin/sh\necho \"[$*]\" > \"$0.started\"\n"; }
};

TEST_F(UpdateProcess, WithoutTheExactTokenItEndsAtOnceAndDoesNothing) {
    serveManifest("<u/>");
    const std::vector<std::vector<std::string>> refused = {
        {}, {"dovkarn"}, {"DOVKARN"}, {"DovKarn2"}, {"\"DovKarn\""}, {"", "DovKarn"}, {" DovKarn"}};
    for (const auto& args : refused) {
        Process p = start(args);
        ASSERT_TRUE(p.started());
        EXPECT_EQ(p.wait(10s), std::optional<int>(0)) << (args.empty() ? "" : args[0]);
    }
    EXPECT_TRUE(server.requests().empty());
    EXPECT_FALSE(exists(messages));
}

TEST_F(UpdateProcess, TheTokenRunsTheUpdateAndStartsTheDownloadedDictionary) {
    // Served as a plain file: the updater must make it executable to start it.
    server.route("/files/quorvel", ok(runFileScript()));
    serveManifest("<u><FILE SOURCEFILE=\"@BASE@/files/quorvel\" TARGETFILE=\"Quorvel\"/>"
                  "<FILE SOURCEFILE=\"@BASE@/files/quorvel\" TARGETFILE=\"more/extra\"/></u>");
    // The shell's quotes are gone by the time the updater sees its argument;
    // further arguments are not looked at.
    Process p("/bin/sh", {"-c", "exec '" + update + "' \"DovKarn\" extra"}, environment());
    EXPECT_EQ(p.wait(30s), std::optional<int>(0));
    ASSERT_TRUE(waitForFile(app / "Quorvel.started", 10s));
    EXPECT_EQ(readFile(app / "Quorvel.started"), "[]\n");
    EXPECT_EQ(readFile(app / "more/extra"), runFileScript());
    EXPECT_FALSE(exists(messages));
}

TEST_F(UpdateProcess, AFailedDownloadBringsUpTheNotice) {
    writeFile(app / "Quorvel", runFileScript());
    chmod((app / "Quorvel").c_str(), 0755);
    server.route("/files/a", ScriptedReply{ScriptedHttpServer::reply(404, "Not Found", "")});
    serveManifest("<u><FILE SOURCEFILE=\"@BASE@/files/a\" TARGETFILE=\"a.txt\"/></u>");
    Process p = start({"DovKarn"});
    EXPECT_EQ(p.wait(30s), std::optional<int>(0));
    EXPECT_EQ(readFile(messages), "error\t系统升级提示\t升级失败,请重新升级或重新安装.\n");
    EXPECT_FALSE(exists(app / "Quorvel.started"));
}

TEST_F(UpdateProcess, AMissingAttributeShowsTheDefaultErrorBoxAndTheUpdaterStays) {
    serveManifest("<u><FILE TARGETFILE=\"a.txt\"/></u>");
    Process p = start({"DovKarn"});
    ASSERT_TRUE(waitForFile(messages, 20s));
    EXPECT_EQ(p.wait(500ms), std::nullopt);
    EXPECT_EQ(readFile(messages), "error\tTavrin升级\tFILE 缺少属性 SOURCEFILE.\n");
    p.terminate();
    p.wait(10s);
}

TEST_F(UpdateProcess, ASecondUpdaterEndsAtOnceWhileOneRuns) {
    ScriptedReply slow = ok("<u/>");
    slow.delayBefore = 3s;
    server.route(kManifest, slow);
    Process first = start({"DovKarn"});
    ASSERT_TRUE(server.waitForRequests(1, 20s));

    Process second = start({"DovKarn"});
    EXPECT_EQ(second.wait(5s), std::optional<int>(0));
    EXPECT_EQ(first.wait(0ms), std::nullopt);
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(first.wait(20s), std::optional<int>(0));

    // Once the first has ended, an updater may run again.
    Process third = start({"DovKarn"});
    EXPECT_EQ(third.wait(20s), std::optional<int>(0));
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(UpdateProcess, AMarkerLeftByACrashDoesNotBlockTheNextStart) {
    const std::string path = runtime / ("TFrmLiveUpdate-" + std::to_string(getuid()));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd); // the socket file stays, with nobody listening
    ASSERT_TRUE(exists(path));

    ScriptedReply slow = ok("<u/>");
    slow.delayBefore = 2s;
    server.route(kManifest, slow);
    Process first = start({"DovKarn"});
    ASSERT_TRUE(server.waitForRequests(1, 20s));
    // The marker was taken over: a second start still sees the first.
    Process second = start({"DovKarn"});
    EXPECT_EQ(second.wait(5s), std::optional<int>(0));
    EXPECT_EQ(first.wait(20s), std::optional<int>(0));
    EXPECT_EQ(server.requests().size(), 1u);
}
