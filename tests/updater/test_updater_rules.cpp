// The updater's Qt-free rules: command line, paths, manifest, temporary files.

#include "command_line.h"
#include "download.h"
#include "manifest.h"
#include "target_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using Strings = std::vector<std::string>;

// ---- command line (the Windows reading, pure)

struct SplitCase {
    const char* line;
    Strings expected;
};

class CommandLineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLineSplit, SplitsLikeTheSystem) {
    EXPECT_EQ(command_line::split(GetParam().line), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineSplit,
    ::testing::Values(SplitCase{"\"C:\\Program Files\\Q\\Update.exe\" DovKarn",
                                {"C:\\Program Files\\Q\\Update.exe", "DovKarn"}},
                      SplitCase{"Update.exe \"DovKarn\"", {"Update.exe", "DovKarn"}},
                      SplitCase{"Update.exe Dov\"Ka\"rn more", {"Update.exe", "DovKarn", "more"}},
                      SplitCase{"Update.exe \"Dov Karn\"", {"Update.exe", "Dov Karn"}},
                      SplitCase{"  Update.exe\t\r\n DovKarn  ", {"Update.exe", "DovKarn"}},
                      SplitCase{"Update.exe \"\" DovKarn", {"Update.exe", "", "DovKarn"}},
                      SplitCase{"Update.exe \"DovKarn", {"Update.exe", "DovKarn"}},
                      SplitCase{"Update.exe dovkarn", {"Update.exe", "dovkarn"}},
                      SplitCase{"Update.exe", {"Update.exe"}}, SplitCase{"", {}}));

TEST(CommandLineFirstArgument, IsArgvOneAsGiven) {
    char prog[] = "Update", quoted[] = "\"DovKarn\"", extra[] = "x";
    char* argv[] = {prog, quoted, extra, nullptr};
    EXPECT_EQ(command_line::firstArgument(3, argv), std::optional<std::string>("\"DovKarn\""));
    EXPECT_EQ(command_line::firstArgument(1, argv), std::nullopt);
}

// ---- SplitText, ForceFolders, the folder check

struct SplitTextCase {
    const char* text;
    Strings expected;
};

class SplitTextTest : public ::testing::TestWithParam<SplitTextCase> {};

TEST_P(SplitTextTest, Parts) {
    EXPECT_EQ(download::SplitText(GetParam().text, "\\"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SplitTextTest,
                         ::testing::Values(SplitTextCase{"a\\b\\c", {"a", "b", "c"}},
                                           SplitTextCase{"a\\b\\", {"a", "b"}},
                                           SplitTextCase{"a\\\\b", {"a", "", "b"}},
                                           SplitTextCase{"\\a", {"", "a"}},
                                           SplitTextCase{"\\", {""}}, SplitTextCase{"", {}},
                                           SplitTextCase{"abc", {"abc"}}));

TEST(SplitText, MultiByteSeparator) {
    EXPECT_EQ(download::SplitText("a::b:c::", "::"), (Strings{"a", "b:c"}));
}

TEST(ForceFolders, CreatesEachMissingFolderWithEitherSeparator) {
    TempFolder app;
    EXPECT_TRUE(download::ForceFolders(app / "a.txt"));
    EXPECT_TRUE(download::ForceFolders(app / "sub/dir/a.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(app / "sub/dir"));
    EXPECT_FALSE(exists(app / "sub/dir/a.txt"));
    EXPECT_TRUE(download::ForceFolders(app / "x\\y\\b.txt"));
    EXPECT_TRUE(std::filesystem::is_directory(app / "x/y"));
}

TEST(ForceFolders, FalseWhenAFolderCannotBeMadeOrThePathHasOnePart) {
    TempFolder app;
    writeFile(app / "file", "x");
    EXPECT_FALSE(download::ForceFolders(app / "file/inner/a.txt"));
    EXPECT_FALSE(download::ForceFolders("a.txt"));
    EXPECT_FALSE(download::ForceFolders(""));
}

struct InsideCase {
    const char* relative;
    bool inside;
};

class InsideFolder : public ::testing::TestWithParam<InsideCase> {};

TEST_P(InsideFolder, Judged) {
    EXPECT_EQ(download::isInsideFolder(GetParam().relative), GetParam().inside)
        << GetParam().relative;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InsideFolder,
    ::testing::Values(InsideCase{"a.txt", true}, InsideCase{"sub/dir/a.txt", true},
                      InsideCase{"sub\\..\\a.txt", true}, InsideCase{"./a..b/c..", true},
                      InsideCase{"..", false}, InsideCase{"../a.txt", false},
                      InsideCase{"sub/../../a.txt", false}, InsideCase{"sub\\..\\..\\a", false},
                      InsideCase{"/etc/passwd", false}, InsideCase{"\\a.txt", false},
                      InsideCase{"\\\\server\\share\\a", false}, InsideCase{"C:a.txt", false},
                      InsideCase{"c:\\windows\\a.txt", false}));

// ---- manifest

TEST(Manifest, RootChildrenInOrderWithNullForMissingAttributes) {
    const auto doc = manifest::parse("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<anything>\n <FILE SOURCEFILE=\"u\" TARGETFILE=\"\"/>\n"
                                     " text <!-- c --><?pi x?>\n"
                                     " <file SOURCEFILE=\"lower\"/>"
                                     " <RUNFILE><FILE SOURCEFILE=\"nested\"/></RUNFILE>\n"
                                     " <q:FILE xmlns:q=\"urn:q\" q:TARGETFILE=\"t\"/>\n"
                                     "</anything>");
    ASSERT_TRUE(doc.hasRoot);
    EXPECT_EQ(doc.rootName, "anything");
    ASSERT_EQ(doc.children.size(), 4u);
    EXPECT_EQ(doc.children[0].name, "FILE");
    EXPECT_EQ(doc.children[0].attribute("SOURCEFILE"), std::optional<std::string>("u"));
    EXPECT_EQ(doc.children[0].attribute("TARGETFILE"), std::optional<std::string>(""));
    EXPECT_EQ(doc.children[0].attribute("sourcefile"), std::nullopt);
    EXPECT_EQ(doc.children[1].name, "file");
    EXPECT_EQ(doc.children[2].name, "RUNFILE");
    EXPECT_EQ(doc.children[2].attribute("FILE"), std::nullopt);
    EXPECT_EQ(doc.children[3].name, "q:FILE");
    EXPECT_EQ(doc.children[3].attribute("q:TARGETFILE"), std::optional<std::string>("t"));
}

TEST(Manifest, TakingAMissingAttributeAsTextNamesElementAndAttribute) {
    const auto doc = manifest::parse("<r><FILE TARGETFILE=\"a\"/></r>");
    EXPECT_EQ(manifest::requireText(doc.children[0], "TARGETFILE"), "a");
    try {
        manifest::requireText(doc.children[0], "SOURCEFILE");
        FAIL() << "no error";
    } catch (const manifest::ManifestError& e) {
        EXPECT_STREQ(e.what(), "FILE 缺少属性 SOURCEFILE");
    }
}

TEST(Manifest, BodyEndsAtItsFirstZeroByte) {
    using namespace std::string_literals;
    EXPECT_FALSE(manifest::parse(""s).hasRoot);
    EXPECT_FALSE(manifest::parse("\0<r/>"s).hasRoot);
    const auto doc = manifest::parse("<r><FILE/></r>\0garbage<"s);
    EXPECT_EQ(doc.children.size(), 1u);
    EXPECT_THROW(manifest::parse("<r><FILE/>\0</r>"s), manifest::ManifestError);
}

TEST(Manifest, NotWellFormedIsAnError) {
    for (const char* body : {"<r>", "<r></R>", "plain text", "   ", "<r/><r/>"})
        EXPECT_THROW(manifest::parse(body), manifest::ManifestError) << body;
}

struct EncodingCase {
    const char* file;
    const char* target; // UTF-8 TARGETFILE of the first FILE; null: not readable
};

class ManifestEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(ManifestEncoding, ValuesComeOutAsUtf8) {
    const std::string body = dataFile(GetParam().file, "http://h");
    if (!GetParam().target) {
        EXPECT_THROW(manifest::parse(body), manifest::ManifestError);
        return;
    }
    const auto doc = manifest::parse(body);
    ASSERT_FALSE(doc.children.empty());
    EXPECT_EQ(doc.children[0].attribute("TARGETFILE"),
              std::optional<std::string>(GetParam().target));
}

INSTANTIATE_TEST_SUITE_P(Cases, ManifestEncoding,
                         ::testing::Values(EncodingCase{"gbk_chinese_paths.xml", "词典/成语.txt"},
                                           EncodingCase{"gb2312_declared.xml", "数据.dll"},
                                           EncodingCase{"utf8_no_declaration.xml", "中文.txt"},
                                           EncodingCase{"utf8_bom.xml", "标记.txt"},
                                           EncodingCase{"utf16.xml", nullptr}));

TEST(Manifest, EntitiesAreNeverExpanded) {
    EXPECT_THROW(manifest::parse(dataFile("billion_laughs.xml", "http://h")),
                 manifest::ManifestError);
    const auto doc = manifest::parse(dataFile("internal_entity_in_attribute.xml", "http://h"));
    ASSERT_EQ(doc.children.size(), 1u);
    EXPECT_EQ(doc.children[0].attribute("TARGETFILE"), std::optional<std::string>("&host;.txt"));
    EXPECT_EQ(doc.children[0].attribute("SOURCEFILE"),
              std::optional<std::string>("http://h/files/a?h=&host;"));
}

TEST(Manifest, ExternalEntitiesAreNotRead) {
    const auto doc = manifest::parse(dataFile("external_entity.xml", "http://127.0.0.1:9"));
    ASSERT_EQ(doc.children.size(), 2u);
    EXPECT_EQ(doc.children[1].name, "FILE");
}

// ---- temporary file and its placing

class TemporaryFileTest : public ::testing::Test {
protected:
    TempFolder dir;
    std::string target = dir / "t.bin";
    std::string tmpPath = target + ".tmp";
};

TEST_F(TemporaryFileTest, CutsAnOldFileAndReplacesTheTargetKeepingItsMode) {
    writeFile(tmpPath, "stale stale stale");
    writeFile(target, "old");
    chmod(target.c_str(), 0750);
    {
        target_file::TemporaryFile tmp(tmpPath);
        EXPECT_EQ(readFile(tmpPath), "");
        tmp.stream() << "new";
        ASSERT_TRUE(tmp.finish());
        ASSERT_TRUE(tmp.replace(target));
    }
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(modeOf(target), 0750u);
    EXPECT_FALSE(exists(tmpPath));
}

TEST_F(TemporaryFileTest, ANewTargetGetsTheUsualMode) {
    const mode_t old = umask(027);
    writeFile(tmpPath, "");
    chmod(tmpPath.c_str(), 0600);
    {
        target_file::TemporaryFile tmp(tmpPath);
        tmp.stream() << "x";
        ASSERT_TRUE(tmp.finish());
        ASSERT_TRUE(tmp.replace(target));
    }
    umask(old);
    EXPECT_EQ(modeOf(target), 0640u);
}

TEST_F(TemporaryFileTest, ASecondOpenerFailsAndCutsNothing) {
    target_file::TemporaryFile first(tmpPath);
    first.stream() << "partial" << std::flush;
    EXPECT_THROW(target_file::TemporaryFile second(tmpPath), std::runtime_error);
    EXPECT_EQ(readFile(tmpPath), "partial");
}

TEST_F(TemporaryFileTest, HeldByAnotherProgramIsAnError) {
    writeFile(tmpPath, "theirs");
    const int fd = open(tmpPath.c_str(), O_RDWR);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    EXPECT_THROW(target_file::TemporaryFile tmp(tmpPath), std::runtime_error);
    close(fd);
    EXPECT_EQ(readFile(tmpPath), "theirs");
}

TEST_F(TemporaryFileTest, AFailedPlacingRemovesTheTemporaryFileAndKeepsTheTarget) {
    std::filesystem::create_directory(target);
    writeFile(target + "/inside", "keep");
    target_file::TemporaryFile tmp(tmpPath);
    tmp.stream() << "new";
    ASSERT_TRUE(tmp.finish());
    EXPECT_FALSE(tmp.replace(target));
    EXPECT_FALSE(exists(tmpPath));
    EXPECT_EQ(readFile(target + "/inside"), "keep");
}

TEST_F(TemporaryFileTest, AnUnfinishedFileNeverReplaces) {
    writeFile(target, "old");
    target_file::TemporaryFile tmp(tmpPath);
    tmp.stream() << "half";
    EXPECT_FALSE(tmp.replace(target));
    EXPECT_EQ(readFile(target), "old");
}

TEST(MakeRunnable, AddsExecuteWhereReadableOnlyWhenTheOwnerCannotExecute) {
    TempFolder dir;
    const std::string f = dir / "run";
    writeFile(f, "#!/bin/sh\n");
    chmod(f.c_str(), 0644);
    EXPECT_TRUE(target_file::makeRunnable(f));
    EXPECT_EQ(modeOf(f), 0755u);
    chmod(f.c_str(), 0710);
    EXPECT_TRUE(target_file::makeRunnable(f));
    EXPECT_EQ(modeOf(f), 0710u);
    chmod(f.c_str(), 0600);
    EXPECT_TRUE(target_file::makeRunnable(f));
    EXPECT_EQ(modeOf(f), 0700u);
    EXPECT_FALSE(target_file::makeRunnable(dir / "missing"));
}

TEST(NativePath, BackslashesBecomeFolders) {
    EXPECT_EQ(target_file::nativePath("/app/", "sub\\dir/a.txt"), "/app/sub/dir/a.txt");
}
