// Start-up of the dictionary without its window: the version gate, the order
// of the start-up steps, the updater image and the version request against
// a scripted server on 127.0.0.1.

#include "scripted_http_server.h"
#include "test_files.h"
#include "updater_image.h"
#include "version_gate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace test_files;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> folderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "quorvel-startup-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path folder;
};

} // namespace

// -- the version gate

struct GateCase {
    std::string reply;
    bool offered;
};

class VersionGate : public ::testing::TestWithParam<GateCase> {};

TEST_P(VersionGate, OffersTheUpdateOnlyForAShortReplyThatSortsAfterTheOwnVersion) {
    const auto& c = GetParam();
    EXPECT_EQ(version_gate::isNewer(version_gate::latestVersionFromReply(c.reply)), c.offered);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, VersionGate,
    ::testing::Values(GateCase{"1.2.0.0", false}, GateCase{"1.2.0.1", true},
                      GateCase{"1.2.0.1\r\n", false}, // 9 bytes: too long
                      GateCase{"1.2.0.1\n", false},   // 8 bytes: too long
                      GateCase{"1.10.0.0", false},    // 8 bytes, though newer by number
                      GateCase{"1.3", true}, GateCase{"2", true}, GateCase{"1.2", false},
                      GateCase{"", false}, GateCase{"0.9.9.9", false}, GateCase{"error", true},
                      GateCase{"\xB3\xC9", true}, // bytes of 128 and above sort after digits
                      GateCase{std::string("1.2.0.0\0x", 9), false},
                      GateCase{std::string("1.2\0\x39", 5), false})); // a zero byte ends it

// -- the order of the start-up steps

struct Trace {
    std::vector<std::string> calls;
    version_gate::StartupSteps steps(bool extracted, std::string latest) {
        version_gate::StartupSteps s;
        s.extractUpdater = [this, extracted] {
            calls.push_back("extract");
            return extracted;
        };
        s.latestVersion = [this, latest] {
            calls.push_back("version");
            return latest;
        };
        s.notifyUpgrade = [this] { calls.push_back("notify"); };
        s.startUpdater = [this] { calls.push_back("start"); };
        s.runWindow = [this] {
            calls.push_back("window");
            return 7;
        };
        return s;
    }
};

TEST(Startup, EndsSilentlyWhenTheUpdaterCannotBeWritten) {
    Trace t;
    EXPECT_EQ(version_gate::runStartup(t.steps(false, "1.2.0.1")), 0);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"extract"}));
}

TEST(Startup, OpensTheWindowWhenNoNewerVersionIsNamed) {
    Trace t;
    EXPECT_EQ(version_gate::runStartup(t.steps(true, "1.2.0.0")), 7);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"extract", "version", "window"}));
}

TEST(Startup, NoticeComesBeforeTheUpdaterAndNoWindowOpens) {
    Trace t;
    EXPECT_EQ(version_gate::runStartup(t.steps(true, "1.2.0.1")), 0);
    EXPECT_EQ(t.calls, (std::vector<std::string>{"extract", "version", "notify", "start"}));
}

// -- the updater image

TEST(ResourceLookup, MatchesTypeAndNameWithoutRegardToCase) {
    const std::array<std::byte, 1> a{std::byte{1}};
    const std::array<std::byte, 2> b{std::byte{2}, std::byte{3}};
    const std::array<updater_image::EmbeddedResource, 2> table{{
        {"DATA", "UPDATE", a},
        {"RCDATA", "update", b},
    }};
    struct Case {
        std::string_view type, name;
        std::size_t size; // 0: not found
    };
    for (const Case c : {Case{"data", "update", 1}, Case{"Data", "UpDaTe", 1},
                         Case{"rcdata", "UPDATE", 2}, Case{"data", "updat", 0},
                         Case{"data", "update2", 0}, Case{"dat", "update", 0}, Case{"", "", 0}}) {
        const auto found = updater_image::findIn(table, c.type, c.name);
        EXPECT_EQ(found ? found->size() : 0u, c.size) << c.type << "/" << c.name;
    }
}

class ExtractUpdater : public TempFolder {};

TEST_F(ExtractUpdater, WritesTheBuiltUpdaterByteForByteAndExecutable) {
    for (const char* name : {"update", "UpDate"}) {
        const fs::path target = folder / "Update";
        ASSERT_TRUE(ExtractResourceFile(name, target.string())) << name;
        EXPECT_TRUE(sameContent(target, QUORVEL_BUILT_UPDATER));
        struct stat st {};
        ASSERT_EQ(stat(target.c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IXUSR);
        EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"Update"}));
        fs::remove(target);
    }
}

TEST_F(ExtractUpdater, LeavesAnExistingFileOfAnyContentAlone) {
    for (const std::string& content : {std::string(), std::string("not a program"),
                                       readFile(QUORVEL_BUILT_UPDATER).substr(0, 100)}) {
        const fs::path target = folder / "Update";
        writeFile(target, content);
        fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_TRUE(ExtractResourceFile("update", target.string()));
        EXPECT_EQ(readFile(target), content);
        EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
}

TEST_F(ExtractUpdater, FailsWithoutLeavingAFile) {
    writeFile(folder / "plain", "x");
    fs::create_directory(folder / "Update");
    struct Case {
        const char* what;
        std::string resource;
        fs::path target;
    };
    for (const auto& c : {Case{"missing resource", "nosuch", folder / "Target"},
                          Case{"missing folder", "update", folder / "absent" / "Update"},
                          Case{"folder is a file", "update", folder / "plain" / "Update"},
                          Case{"a folder at the path", "update", folder / "Update"}}) {
        EXPECT_FALSE(ExtractResourceFile(c.resource, c.target.string())) << c.what;
    }
    EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"Update", "plain"}));
    EXPECT_TRUE(fs::is_empty(folder / "Update"));
    EXPECT_EQ(readFile(folder / "plain"), "x");
}

TEST_F(ExtractUpdater, RemovesAWriteCutShort) {
    // A file size limit far below the image makes the write fail after the
    // file was created, as a full disk would.
    const fs::path target = folder / "Update";
    ASSERT_GT(fs::file_size(QUORVEL_BUILT_UPDATER), 4096u);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(ExtractResourceFile("update", target.string()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the cut write was reported as success";
    EXPECT_TRUE(fs::is_empty(folder));

    // The next start writes the complete image.
    ASSERT_TRUE(ExtractResourceFile("update", target.string()));
    EXPECT_TRUE(sameContent(target, QUORVEL_BUILT_UPDATER));
}

// -- the version request

namespace {

class LatestVersion : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("http_proxy");
        unsetenv("HTTP_PROXY");
        useServer(server.baseUrl());
    }
    void TearDown() override { unsetenv("QUORVEL_UPDATE_SERVER"); }
    static void useServer(const std::string& base) {
        setenv("QUORVEL_UPDATE_SERVER", base.c_str(), 1);
    }
    void routeVersion(const std::string& bytes) {
        server.route("/software/zk_version.php", ScriptedReply{bytes});
    }
    ScriptedHttpServer server;
};

} // namespace

TEST_F(LatestVersion, TakesAShortBodyAndFallsBackOnEverythingElse) {
    struct Case {
        const char* what;
        std::string reply;
        std::string latest;
    };
    const std::string newer = ScriptedHttpServer::ok("1.2.0.1");
    server.route("/elsewhere", ScriptedReply{newer});
    const std::vector<Case> cases = {
        {"own version", ScriptedHttpServer::ok("1.2.0.0"), "1.2.0.0"},
        {"newer", newer, "1.2.0.1"},
        {"not a version", ScriptedHttpServer::ok("error"), "error"},
        {"empty body", ScriptedHttpServer::ok(""), ""},
        {"CR LF after it", ScriptedHttpServer::ok("1.2.0.1\r\n"), "1.2.0.0"},
        {"LF after it", ScriptedHttpServer::ok("1.2.0.1\n"), "1.2.0.0"},
        {"eight bytes", ScriptedHttpServer::ok("1.10.0.0"), "1.2.0.0"},
        {"server error", ScriptedHttpServer::reply(500, "Internal Server Error", "1.2.0.1"),
         "1.2.0.0"},
        {"not found", ScriptedHttpServer::reply(404, "Not Found", "1.2.0.1"), "1.2.0.0"},
        {"redirect to a newer version",
         ScriptedHttpServer::reply(302, "Found", "1.2.0.1",
                                   {"Location: " + server.baseUrl() + "/elsewhere"}),
         "1.2.0.0"},
        {"connection closed without a reply", "", "1.2.0.0"},
    };
    for (const auto& c : cases) {
        routeVersion(c.reply);
        EXPECT_EQ(GetLatestVersion(), c.latest) << c.what;
    }
}

TEST_F(LatestVersion, AsksWithAPlainGetOfTheVersionPath) {
    routeVersion(ScriptedHttpServer::ok("1.2.0.0"));
    ASSERT_EQ(GetLatestVersion(), "1.2.0.0");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET /software/zk_version.php HTTP/1.1\r\n", 0), 0u) << requests[0];
}

TEST_F(LatestVersion, FallsBackWhenTheServerIsDown) {
    useServer("http://127.0.0.1:" + std::to_string(closedPort()));
    EXPECT_EQ(GetLatestVersion(), "1.2.0.0");
}

TEST_F(LatestVersion, GivesUpOnAServerThatNeverAnswers) {
    ScriptedReply silent{ScriptedHttpServer::ok("1.2.0.1")};
    silent.delayBefore = 30s;
    server.route("/software/zk_version.php", silent);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetLatestVersion(), "1.2.0.0");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 25s) << "the request has no bound";
}

TEST_F(LatestVersion, GoesThroughTheSystemProxy) {
    ScriptedHttpServer proxy;
    proxy.route("/software/zk_version.php", ScriptedReply{ScriptedHttpServer::ok("1.2.0.1")});
    const std::string origin = "http://127.0.0.1:" + std::to_string(closedPort());
    useServer(origin);
    setenv("http_proxy", proxy.baseUrl().c_str(), 1);
    EXPECT_EQ(GetLatestVersion(), "1.2.0.1");
    unsetenv("http_proxy");
    const auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].rfind("GET " + origin + "/software/zk_version.php HTTP/1.1\r\n", 0), 0u)
        << requests[0];
}
