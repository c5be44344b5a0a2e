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
