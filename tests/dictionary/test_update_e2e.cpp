// The whole update, end to end: the built dictionary, at its own version and
// without an updater beside it, writes out the updater it carries, is told of
// a newer version, hands over, and the real updater downloads the files of
// the manifest and starts the new dictionary.

#include "startup_harness.h"

#include <climits>
#include <dirent.h>

using namespace startup_harness;

namespace {

// Ends, by its process id, an updater left running in `folder` by a failed
// run; the updater is detached from the test and so not its child.
void endUpdaterIn(const fs::path& folder) {
    const std::string updater = (folder / "Update").string();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code ec;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
        if (!ec && exe == updater)
            kill(std::stoi(name), SIGKILL);
    }
}

class WholeUpdate : public QuorvelProcess {
protected:
    void TearDown() override {
        endUpdaterIn(app);
        QuorvelProcess::TearDown();
    }
};

} // namespace

TEST_F(WholeUpdate, NoticeThenUpdaterThenTheNewDictionary) {
    const std::string newProgram = "#!/bin/sh\necho \"[$*]\" > \"$0.started\"\n";
    const std::string newData = "new idiom data\n";
    server.route(kVersionPath, ScriptedReply{ScriptedHttpServer::ok("1.2.0.1")});
    server.route("/files/data.dll", ScriptedReply{ScriptedHttpServer::ok(newData)});
    server.route("/files/quorvel", ScriptedReply{ScriptedHttpServer::ok(newProgram)});
    server.route(
        "/software/zk_liveUpdate.xml",
        ScriptedReply{ScriptedHttpServer::ok("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<update>"
                                             "<FILE SOURCEFILE=\"" +
                                             server.baseUrl() +
                                             "/files/data.dll\" "
                                             "TARGETFILE=\"data.dll\"/>"
                                             "<FILE SOURCEFILE=\"" +
                                             server.baseUrl() +
                                             "/files/quorvel\" "
                                             "TARGETFILE=\"Quorvel\"/></update>")});
    ASSERT_FALSE(fs::exists(app / "Update"));

    const Outcome out = run(server.baseUrl());
    EXPECT_TRUE(out.endedByItself);
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_FALSE(out.windowBuilt) << out.diagnostics;
    EXPECT_TRUE(sameContent(app / "Update", QUORVEL_BUILT_UPDATER));

    ASSERT_TRUE(waitFor([&] { return fs::exists(app / "Quorvel.started"); }, 60s))
        << "the new dictionary was not started";
    EXPECT_EQ(readFile(app / "Quorvel.started"), "[]\n");
    EXPECT_EQ(readFile(app / "Quorvel"), newProgram);
    EXPECT_EQ(readFile(app / "data.dll"), newData);
    // Only the dictionary's notice: the updater reported no failure.
    EXPECT_EQ(readFile(messageLog()), kNotice);

    std::vector<std::string> asked;
    for (const auto& r : server.requests())
        asked.push_back(r.substr(0, r.find("\r\n")));
    EXPECT_EQ(asked, (std::vector<std::string>{
                         "GET /software/zk_version.php HTTP/1.1",
                         "GET /software/zk_liveUpdate.xml HTTP/1.1",
                         "GET /files/data.dll HTTP/1.1",
                         "GET /files/quorvel HTTP/1.1",
                     }));
}

namespace {

// nginx serving a site laid out by the release tooling, on a free loopback
// port, for as long as the object lives.
class StaticSite {
public:
    StaticSite(const fs::path& root, const fs::path& site) : state_(root / "nginx") {
        fs::create_directories(state_);
        port_ = closedPort();
        std::string conf =
            readFile(fs::path(QUORVEL_SOURCE_DIR) / "tools/update-site/nginx.conf.in");
        const auto fill = [&](const std::string& key, const std::string& value) {
            for (auto at = conf.find(key); at != std::string::npos; at = conf.find(key))
                conf.replace(at, key.size(), value);
        };
        fill("@ROOT@", site.string());
        fill("@PORT@", std::to_string(port_));
        fill("@STATE@", state_.string());
        writeFile(state_ / "nginx.conf", conf);
        const std::string confPath = (state_ / "nginx.conf").string();
        const std::string prefix = state_.string() + "/";
        pid_ = fork();
        if (pid_ == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("nginx", "nginx", "-c", confPath.c_str(), "-p", prefix.c_str(), "-e",
                   (state_ / "error.log").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~StaticSite() {
        if (pid_ > 0) {
            kill(pid_, SIGQUIT);
            if (!waitFor([&] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5s)) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            }
        }
    }
    StaticSite(const StaticSite&) = delete;
    StaticSite& operator=(const StaticSite&) = delete;

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    bool waitUntilServing() const {
        return waitFor(
            [&] {
                if (waitpid(pid_, nullptr, WNOHANG) == pid_)
                    return true; // ended: connecting below fails
                const int s = socket(AF_INET, SOCK_STREAM, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_port = htons(port_);
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                const bool up = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
                close(s);
                return up;
            },
            10s);
    }

private:
    fs::path state_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

bool haveNginx() {
    return std::system("command -v nginx >/dev/null 2>&1") == 0;
}

} // namespace

// The same road through a deployment's parts: a site made by the release
// tooling and served by a plain static web server.
TEST_F(WholeUpdate, FromAStaticSiteServedByNginx) {
    if (!haveNginx())
        GTEST_SKIP() << "nginx is not installed";
    const fs::path staging = root / "staging";
    fs::create_directory(staging);
    writeFile(staging / "Quorvel", "#!/bin/sh\necho \"[$*]\" > \"$0.started\"\n");
    writeFile(staging / "data.dll", "new idiom data\n");
    writeFile(staging / "readme.txt", "说明\n");

    const fs::path site = root / "site";
    // nginx's workers run as an unprivileged user and must reach the site.
    fs::permissions(root, fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
    // The site's URLs must name the port, which is only known once chosen.
    StaticSite server(root, site);
    const std::string command = std::string("'") + QUORVEL_SOURCE_DIR +
                                "/tools/update-site/make-site.sh' '" + site.string() + "' '" +
                                server.baseUrl() +
                                "' 1.2.0.1 Quorvel 'Quorvel=" + (staging / "Quorvel").string() +
                                "' 'data.dll=" + (staging / "data.dll").string() +
                                "' 'docs/readme.txt=" + (staging / "readme.txt").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_TRUE(server.waitUntilServing());

    const Outcome out = run(server.baseUrl());
    EXPECT_TRUE(out.endedByItself);
    EXPECT_FALSE(out.windowBuilt) << out.diagnostics;

    ASSERT_TRUE(waitFor([&] { return fs::exists(app / "Quorvel.started"); }, 60s))
        << "the new dictionary was not started";
    EXPECT_EQ(readFile(app / "Quorvel.started"), "[]\n");
    EXPECT_TRUE(sameContent(app / "data.dll", staging / "data.dll"));
    EXPECT_TRUE(sameContent(app / "docs/readme.txt", staging / "readme.txt"));
    EXPECT_FALSE(fs::exists(app / "data.dll.tmp"));
    EXPECT_EQ(readFile(messageLog()), kNotice);
}
