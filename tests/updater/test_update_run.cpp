// The update run against the scripted loopback server, with real files in a
// temporary updater folder.

#include "run_host.h"
#include "scripted_http_server.h"
#include "temp_folder.h"
#include "update_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

using Strings = std::vector<std::string>;
using update_run::Outcome;

namespace {

const std::string kManifest(update_server::kManifestPath);

ScriptedReply ok(const std::string& body) {
    return ScriptedReply{ScriptedHttpServer::ok(body)};
}
ScriptedReply status(int code, const std::string& reason) {
    return ScriptedReply{ScriptedHttpServer::reply(code, reason, "<html>error page</html>")};
}

std::string downloading(const std::string& target, const char* result = "") {
    return target + ": 正在下载......" + result;
}

} // namespace

class UpdateRun : public ::testing::Test {
protected:
    ScriptedHttpServer server;
    TempFolder app;
    RecordingHost host{app.path()};

    std::string base() const { return server.baseUrl(); }

    // A manifest whose "@BASE@" stands for the server.
    Outcome run(const std::string& manifest) {
        std::string body = manifest;
        for (auto at = body.find("@BASE@"); at != std::string::npos; at = body.find("@BASE@"))
            body.replace(at, 6, base());
        server.route(kManifest, ok(body));
        return runServed();
    }
    Outcome runServed() { return update_run::run(host, app.path(), base() + kManifest); }

    bool requested(const std::string& path) const {
        for (const auto& r : server.requests())
            if (r.rfind("GET " + path + " ", 0) == 0)
                return true;
        return false;
    }
};

TEST_F(UpdateRun, DownloadsEveryFileLogsEachAndStartsTheRunFile) {
    writeFile(app / "Quorvel.exe", "old program");
    server.route("/files/q", ok("new program"));
    server.route("/files/d", ok("new data"));
    const auto outcome = run("<update>"
                             "<FILE SOURCEFILE=\"@BASE@/files/q\" TARGETFILE=\"Quorvel.exe\"/>"
                             "<FILE SOURCEFILE=\"@BASE@/files/d\" TARGETFILE=\"data.dll\"/>"
                             "<RUNFILE FILE=\"Quorvel.exe\"/>"
                             "</update>");
    EXPECT_EQ(outcome, Outcome::Started);
    EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("Quorvel.exe", "成功!"),
                                 downloading("data.dll", "成功!")}));
    EXPECT_EQ(host.started, Strings{app / "Quorvel.exe"});
    EXPECT_EQ(host.notices, 0);
    EXPECT_EQ(host.progressResets, 1);
    EXPECT_EQ(readFile(app / "Quorvel.exe"), "new program");
    EXPECT_EQ(readFile(app / "data.dll"), "new data");
    EXPECT_FALSE(exists(app / "Quorvel.exe.tmp"));
    EXPECT_FALSE(exists(app / "data.dll.tmp"));
}

TEST_F(UpdateRun, WithoutFilesTheDefaultRunFileIsStartedWhenItExists) {
    EXPECT_EQ(run("<update/>"), Outcome::NothingToRun);
    EXPECT_EQ(host.log, Strings{"系统正在升级......"});
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 0);

    const std::string program = app / std::string(update_run::defaultRunFileName());
    writeFile(program, "");
    EXPECT_EQ(run("<update><!-- nothing --></update>"), Outcome::Started);
    EXPECT_EQ(host.started, Strings{program});
}

TEST_F(UpdateRun, AFailedFileFailsTheRunButTheRestIsStillFetched) {
    writeFile(app / "Quorvel", "");
    writeFile(app / "b.txt", "old b");
    server.route("/a", ok("A"));
    server.route("/b", status(404, "Not Found"));
    server.route("/c", ok("C"));
    const auto outcome = run("<u>"
                             "<FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/>"
                             "<FILE SOURCEFILE=\"@BASE@/b\" TARGETFILE=\"b.txt\"/>"
                             "<FILE SOURCEFILE=\"@BASE@/c\" TARGETFILE=\"c.txt\"/>"
                             "<RUNFILE FILE=\"Quorvel\"/></u>");
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("a.txt", "成功!"),
                                 downloading("b.txt", "失败!"), downloading("c.txt", "成功!")}));
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 1);
    EXPECT_EQ(readFile(app / "b.txt"), "old b");
    // The error page is never written: an empty temporary file is left.
    EXPECT_TRUE(exists(app / "b.txt.tmp"));
    EXPECT_EQ(readFile(app / "b.txt.tmp"), "");
    EXPECT_EQ(readFile(app / "c.txt"), "C");
}

TEST_F(UpdateRun, TheLastRunFileCounts) {
    writeFile(app / "first", "");
    writeFile(app / "second", "");
    EXPECT_EQ(run("<u><RUNFILE FILE=\"first\"/><RUNFILE FILE=\"second\"/></u>"), Outcome::Started);
    EXPECT_EQ(host.started, Strings{app / "second"});
}

TEST_F(UpdateRun, AnEmptyRunFileNamesTheFolderNotTheDefault) {
    writeFile(app / std::string(update_run::defaultRunFileName()), "");
    EXPECT_EQ(run("<u><RUNFILE FILE=\"\"/></u>"), Outcome::NothingToRun);
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 0);
}

TEST_F(UpdateRun, MissingFoldersAreCreatedAndTheLogShowsThePathAsWritten) {
    server.route("/a", ok("A"));
    server.route("/b", ok("B"));
    run("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"sub/dir/a.txt\"/>"
        "<FILE SOURCEFILE=\"@BASE@/b\" TARGETFILE=\"sub\\other\\b.txt\"/></u>");
    EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("sub/dir/a.txt", "成功!"),
                                 downloading("sub\\other\\b.txt", "成功!")}));
    EXPECT_EQ(readFile(app / "sub/dir/a.txt"), "A");
    EXPECT_EQ(readFile(app / "sub/other/b.txt"), "B");
}

struct EncodedManifest {
    const char* file;
    const char* target; // null: the manifest cannot be read
};

class UpdateRunEncoding : public UpdateRun,
                          public ::testing::WithParamInterface<EncodedManifest> {};

TEST_P(UpdateRunEncoding, ReadInItsDeclaredEncodingOrEndsSilently) {
    server.route("/files/a", ok("A"));
    server.route("/files/cy", ok("成语"));
    const auto outcome = run(dataFile(GetParam().file));
    if (!GetParam().target) {
        EXPECT_EQ(outcome, Outcome::NoManifest);
        EXPECT_TRUE(host.log.empty());
        EXPECT_EQ(server.requests().size(), 1u);
        return;
    }
    EXPECT_EQ(host.log.at(1), downloading(GetParam().target, "成功!"));
    EXPECT_TRUE(exists(app / GetParam().target));
}

INSTANTIATE_TEST_SUITE_P(Cases, UpdateRunEncoding,
                         ::testing::Values(EncodedManifest{"utf8_no_declaration.xml", "中文.txt"},
                                           EncodedManifest{"gbk_chinese_paths.xml",
                                                           "词典/成语.txt"},
                                           EncodedManifest{"gb2312_declared.xml", "数据.dll"},
                                           EncodedManifest{"utf16.xml", nullptr},
                                           EncodedManifest{"billion_laughs.xml", nullptr}));

TEST_F(UpdateRun, AGbkManifestNamesItsRunFileInChinese) {
    server.route("/files/cy", ok("成语"));
    EXPECT_EQ(run(dataFile("gbk_chinese_paths.xml")), Outcome::Started);
    EXPECT_EQ(host.started, Strings{app / "词典/成语.txt"});
    EXPECT_EQ(readFile(app / "词典/成语.txt"), "成语");
}

TEST_F(UpdateRun, ExternalEntitiesTouchNoNetworkAndNoFile) {
    server.route("/files/a", ok("A"));
    run(dataFile("external_entity.xml"));
    EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("a.txt", "成功!")}));
    for (const auto& r : server.requests())
        EXPECT_EQ(r.find("evil"), std::string::npos) << r;
    EXPECT_EQ(readFile(app / "a.txt"), "A");
}

TEST_F(UpdateRun, AnUnexpandedEntityIsUsedAsWritten) {
    server.route("/files/a", ok("A"));
    run(dataFile("internal_entity_in_attribute.xml"));
    EXPECT_EQ(host.log.at(1), downloading("&host;.txt", "成功!"));
    EXPECT_TRUE(requested("/files/a?h=&host;")) << server.requests().back();
}

TEST_F(UpdateRun, AMissingAttributeEndsTheRunAtItsEntry) {
    server.route("/a", ok("A"));
    server.route("/c", ok("C"));
    writeFile(app / "Quorvel", "");
    const std::string before = "<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/>";
    const std::string after = "<FILE SOURCEFILE=\"@BASE@/c\" TARGETFILE=\"c.txt\"/></u>";
    const struct {
        const char* entry;
        const char* message;
    } cases[] = {
        {"<FILE TARGETFILE=\"b.txt\"/>", "FILE 缺少属性 SOURCEFILE"},
        {"<FILE SOURCEFILE=\"@BASE@/c\"/>", "FILE 缺少属性 TARGETFILE"},
        {"<RUNFILE file=\"Quorvel\"/>", "RUNFILE 缺少属性 FILE"},
    };
    for (const auto& c : cases) {
        host.log.clear();
        std::filesystem::remove(app / "c.txt");
        try {
            run(before + c.entry + after);
            ADD_FAILURE() << "no error for " << c.entry;
        } catch (const manifest::ManifestError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
        EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("a.txt", "成功!")}));
        EXPECT_FALSE(exists(app / "c.txt"));
    }
    EXPECT_FALSE(requested("/c"));
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 0);
}

TEST_F(UpdateRun, AHeldTemporaryFileEndsTheRunWithTheLineUnfinished) {
    server.route("/a", ok("A"));
    writeFile(app / "a.txt.tmp", "");
    const int fd = open((app / "a.txt.tmp").c_str(), O_RDWR);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_THROW(run("<u><FILE SOURCEFILE=\"@BASE@/a\" TARGETFILE=\"a.txt\"/></u>"),
                 std::runtime_error);
    close(fd);
    EXPECT_EQ(host.log, (Strings{"系统正在升级......", downloading("a.txt")}));
    EXPECT_FALSE(requested("/a"));
}

// One download each; the target starts as "old".
struct TransferCase {
    const char* name;
    std::string reply;
    bool succeeds;
    const char* targetAfter;
    const char* tmpAfter; // null: no temporary file left
};

class UpdateRunTransfer : public UpdateRun, public ::testing::WithParamInterface<TransferCase> {};

TEST_P(UpdateRunTransfer, TargetReplacedOnlyByACompleteBody) {
    const auto& c = GetParam();
    writeFile(app / "t.bin", "old");
    server.route("/t", ScriptedReply{c.reply});
    const auto outcome = run("<u><FILE SOURCEFILE=\"@BASE@/t\" TARGETFILE=\"t.bin\"/></u>");
    EXPECT_EQ(outcome, c.succeeds ? Outcome::NothingToRun : Outcome::Failed);
    EXPECT_EQ(host.log.at(1), downloading("t.bin", c.succeeds ? "成功!" : "失败!"));
    EXPECT_EQ(readFile(app / "t.bin"), c.targetAfter);
    if (c.tmpAfter)
        EXPECT_EQ(readFile(app / "t.bin.tmp"), c.tmpAfter);
    else
        EXPECT_FALSE(exists(app / "t.bin.tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateRunTransfer,
    ::testing::Values(
        TransferCase{"complete", ScriptedHttpServer::ok("fresh"), true, "fresh", nullptr},
        TransferCase{"zero_bytes", ScriptedHttpServer::ok(""), true, "", nullptr},
        TransferCase{"not_found", ScriptedHttpServer::reply(404, "Not Found", "gone"), false, "old",
                     ""},
        TransferCase{"redirect",
                     ScriptedHttpServer::reply(302, "Found", "", {"Location: /elsewhere"}), false,
                     "old", ""},
        TransferCase{
            "early_close",
            "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n0123456789", false,
            "old", "0123456789"},
        TransferCase{"no_length_until_close",
                     "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nread to the end", true,
                     "read to the end", nullptr},
        TransferCase{"chunked",
                     "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                     "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n",
                     true, "abcde", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateRun, AWriteThatFailsOnTheWayNeverReplacesTheTarget) {
    writeFile(app / "t.bin", "old");
    server.route("/t", ok(std::string(64 * 1024, 'x')));
    // Files of this process may not grow beyond 1000 bytes for a moment.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto outcome = run("<u><FILE SOURCEFILE=\"@BASE@/t\" TARGETFILE=\"t.bin\"/></u>");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_EQ(host.log.at(1), downloading("t.bin", "失败!"));
    EXPECT_EQ(readFile(app / "t.bin"), "old");
}

TEST_F(UpdateRun, ATargetThatCannotBeReplacedFails) {
    std::filesystem::create_directories(app / "busy/inner");
    server.route("/t", ok("new"));
    EXPECT_EQ(run("<u><FILE SOURCEFILE=\"@BASE@/t\" TARGETFILE=\"busy\"/></u>"), Outcome::Failed);
    EXPECT_EQ(host.log.at(1), downloading("busy", "失败!"));
    EXPECT_TRUE(std::filesystem::is_directory(app / "busy/inner"));
    EXPECT_FALSE(exists(app / "busy.tmp"));
    EXPECT_EQ(host.notices, 1);
}

TEST_F(UpdateRun, TargetsOutsideTheFolderAreRefusedUntouched) {
    TempFolder outside;
    const std::string parentName = std::filesystem::path(app.path()).parent_path().filename();
    server.route("/t", ok("evil"));
    writeFile(app / "Quorvel", "");
    const std::string targets[] = {
        "../escaped.txt",
        "sub/../../escaped.txt",
        outside / "abs.txt",
        "C:\\escaped.txt",
        "..\\" + parentName + "\\..\\escaped.txt",
    };
    for (const auto& t : targets) {
        host.log.clear();
        EXPECT_EQ(run("<u><FILE SOURCEFILE=\"@BASE@/t\" TARGETFILE=\"" + t + "\"/></u>"),
                  Outcome::Failed);
        EXPECT_EQ(host.log.at(1), downloading(t, "失败!"));
    }
    EXPECT_FALSE(requested("/t"));
    EXPECT_TRUE(std::filesystem::is_empty(outside.path()));
    const auto parent = std::filesystem::path(app.path()).parent_path().parent_path();
    EXPECT_FALSE(exists((parent / "escaped.txt").string()));
    EXPECT_FALSE(exists((parent / "escaped.txt.tmp").string()));
    EXPECT_FALSE(exists(app / "sub"));
    EXPECT_TRUE(host.started.empty());
}

TEST_F(UpdateRun, ARunFileOutsideTheFolderIsNeverStarted) {
    TempFolder outside;
    writeFile(outside / "prog", "");
    const std::string rel =
        "../" + std::filesystem::path(outside.path()).parent_path().filename().string() + "/prog";
    EXPECT_EQ(run("<u><RUNFILE FILE=\"" + rel + "\"/></u>"), Outcome::Failed);
    EXPECT_EQ(run("<u><RUNFILE FILE=\"" + outside / "prog" + "\"/></u>"), Outcome::Failed);
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 2);
}

struct ManifestReply {
    const char* name;
    std::string reply; // empty: the connection is closed without a reply
    Outcome outcome;
};

class UpdateRunManifestReply : public UpdateRun,
                               public ::testing::WithParamInterface<ManifestReply> {};

TEST_P(UpdateRunManifestReply, NothingIsLoggedOrStarted) {
    writeFile(app / "Quorvel", "");
    if (!GetParam().reply.empty())
        server.route(kManifest, ScriptedReply{GetParam().reply});
    EXPECT_EQ(runServed(), GetParam().outcome);
    EXPECT_TRUE(host.log.empty());
    EXPECT_TRUE(host.started.empty());
    EXPECT_EQ(host.notices, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateRunManifestReply,
    ::testing::Values(
        ManifestReply{"empty_body", ScriptedHttpServer::ok(""), Outcome::NoRoot},
        ManifestReply{"zero_byte_first", ScriptedHttpServer::ok(std::string("\0<u/>", 5)),
                      Outcome::NoRoot},
        ManifestReply{"not_well_formed", ScriptedHttpServer::ok("<u><FILE></u>"),
                      Outcome::NoManifest},
        ManifestReply{"server_error", ScriptedHttpServer::reply(500, "Oops", "<u/>"),
                      Outcome::NoManifest},
        ManifestReply{"redirect", ScriptedHttpServer::reply(301, "Moved", "<u/>", {"Location: /x"}),
                      Outcome::NoManifest},
        ManifestReply{"no_reply", "", Outcome::NoManifest}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateRun, NoServerAtAllEndsSilently) {
    // A port that was free a moment ago: nobody listens there.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    close(fd);
    const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + kManifest;
    EXPECT_EQ(update_run::run(host, app.path(), url), Outcome::NoManifest);
    EXPECT_EQ(update_run::run(host, app.path(), ""), Outcome::NoManifest);
    EXPECT_TRUE(host.log.empty());
}
