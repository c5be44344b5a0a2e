// Start-up of the built dictionary as a whole process: the version gate, the
// hand-over to the updater and the window. A small script stands in as the
// updater and records how it was started.

#include "startup_harness.h"

namespace {

using namespace startup_harness;

class StartupProcess : public QuorvelProcess {
protected:
    // An updater of any content stands beside the program; it records its
    // arguments and the boxes shown before it ran.
    void installRecordingUpdater() {
        const auto quoted = [](const fs::path& p) { return "'" + p.string() + "'"; };
        std::string script = "#!/bin/sh\n";
        script +=
            "cp \"$QUORVEL_MESSAGE_LOG\" " + quoted(root / "notices-at-start") + " 2>/dev/null\n";
        script += "{ echo \"$#\"; for a in \"$@\"; do echo \"[$a]\"; done; } > " +
                  quoted(root / "argv.part") + "\n";
        script += "mv " + quoted(root / "argv.part") + " " + quoted(root / "argv") + "\n";
        writeFile(app / "Update", script);
        fs::permissions(app / "Update", fs::perms::owner_all);
        updaterScript = script;
    }

    std::string updaterScript;
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
