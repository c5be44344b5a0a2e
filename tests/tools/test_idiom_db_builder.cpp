// The idiom database builder, read back through the dictionary's own query,
// cipher and link rewriting.
#include "entry_html.h"
#include "idiom_db_builder.h"
#include "idiom_store.h"
#include "text.h"
#include "uRC4.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class BuilderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            dir_ = fs::temp_directory_path() / ("quorvel-builder-" + std::to_string(random()));
            if (fs::create_directory(dir_))
                return;
        }
        FAIL() << "no temporary folder";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }

    std::string writeTable(const std::string& body) const {
        const std::string path = file("idioms.tsv");
        std::ofstream(path, std::ios::binary) << body;
        return path;
    }

    fs::path dir_;
};

constexpr const char* kHeader = "ID\tWORD\tW1\tW2\tW3\tW4\tW5\tW6\tW7\tW8\tW9\n";

// The columns as the detail view gets them: deciphered, back to UTF-8.
std::vector<std::string> shownColumns(IdiomQuery& q) {
    std::vector<std::string> columns;
    for (int k = 1; k <= 9; ++k)
        columns.push_back(text::cp936ToUtf8(
            RC4DecryptFromHex(q.fieldAsText("W" + std::to_string(k)), kFieldKey)));
    return columns;
}

TEST_F(BuilderTest, EntriesReadBackThroughTheDictionary) {
    const std::string table =
        std::string(kHeader) +
        "1\t一心一意\t\tyī xīn yī yì\t专心致志。\t\t\t\t\t\t\n"
        "2\t一心二意\t\tyī xīn èr yì\t见\"<A href='1.html'>一心一意</A>\"。\t\t\t\t\t\t\n"
        "3\t大小\t\t\ta &lt; b &amp; c\t出\\t处\t例\\n句\t反\\\\斜\t\t\t\n";
    const std::string db = file("data.dll");
    const BuildReport report = writeIdiomDatabase(db, readIdiomTable(writeTable(table)));
    EXPECT_EQ(report.rows, 3u);
    EXPECT_EQ(report.lossyFields, 0u);

    IdiomQuery q;
    q.setConnectionText(db);

    LoadEntry(q, "2");
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.fieldAsText("WORD"), "一心二意"); // stored as UTF-8, not enciphered
    const std::vector<std::string> two = shownColumns(q);
    EXPECT_EQ(two[0], "");
    EXPECT_EQ(two[1], "yī xīn èr yì");
    EXPECT_EQ(two[2], "见\"<A href='1.html'>一心一意</A>\"。");
    // An empty column is stored as empty text, which deciphers to nothing.
    EXPECT_EQ(q.fieldAsText("W1"), "");
    EXPECT_EQ(q.fieldAsText("W4"), "");
    // The stored anchor becomes the in-window link to entry 1.
    EXPECT_EQ(entry_html::rewriteLinks(two[2], 3), "见\"<A href=\"#'1'\" >一心一意</A>\"。");
    EXPECT_EQ(entry_html::idFromUrl("about:blank#'1'"), "1");

    LoadEntry(q, "3");
    ASSERT_FALSE(q.eof());
    const std::vector<std::string> three = shownColumns(q);
    EXPECT_EQ(three[1], "");
    EXPECT_EQ(three[2], "a &lt; b &amp; c");
    EXPECT_EQ(three[3], "出\t处");
    EXPECT_EQ(three[4], "例\n句");
    EXPECT_EQ(three[5], "反\\斜");

    // Rows come in the table's order.
    SearchWords(q, "一");
    std::vector<std::string> ids;
    for (; !q.eof(); q.next())
        ids.push_back(q.fieldAsText("ID"));
    EXPECT_EQ(ids, (std::vector<std::string>{"1", "2"}));
}

TEST_F(BuilderTest, CharactersOutsideCp936AreCounted) {
    const std::string table = std::string(kHeader) + "1\t😀\t\t😀\t\t\t\t\t\t\t\n";
    const BuildReport report =
        writeIdiomDatabase(file("data.dll"), readIdiomTable(writeTable(table)));
    EXPECT_EQ(report.lossyFields, 1u); // WORD stays UTF-8 and loses nothing
}

TEST_F(BuilderTest, RebuildReplacesTheDatabaseAndLeavesNoTemporaryFile) {
    const std::string db = file("data.dll");
    writeIdiomDatabase(
        db, readIdiomTable(writeTable(std::string(kHeader) + "1\t旧\t\t\t\t\t\t\t\t\t\n")));
    writeIdiomDatabase(
        db, readIdiomTable(writeTable(std::string(kHeader) + "7\t新\t\t\t\t\t\t\t\t\t\n")));
    IdiomQuery q;
    q.setConnectionText(db);
    SearchWords(q, "");
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.fieldAsText("WORD"), "新");
    q.next();
    EXPECT_TRUE(q.eof());
    EXPECT_FALSE(fs::exists(db + ".tmp"));
}

TEST_F(BuilderTest, FailedBuildLeavesTheTargetAsItWas) {
    // A folder in the way: the rename fails after the whole file was written.
    const std::string target = file("data.dll");
    fs::create_directory(target);
    std::ofstream(target + "/keep") << "x";
    EXPECT_THROW(
        writeIdiomDatabase(
            target, readIdiomTable(writeTable(std::string(kHeader) + "1\t一\t\t\t\t\t\t\t\t\t\n"))),
        std::exception);
    EXPECT_TRUE(fs::exists(target + "/keep"));
    EXPECT_FALSE(fs::exists(target + ".tmp"));
}

struct BadTable {
    const char* name;
    std::string body;
    const char* message; // part of the error, after the line number
};

class BadTableTest : public BuilderTest, public ::testing::WithParamInterface<BadTable> {};

TEST_P(BadTableTest, IsRejectedNamingTheLine) {
    const std::string path = writeTable(GetParam().body);
    try {
        readIdiomTable(path);
        FAIL() << "accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().message), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadTableTest,
    ::testing::Values(
        BadTable{"NoHeader", "1\t一\t\t\t\t\t\t\t\t\t\n", ":1: the header"},
        BadTable{"Empty", "", ":1: empty file"},
        BadTable{"TooFewFields", std::string(kHeader) + "1\t一\t\t\n", ":2: expected 11 fields"},
        BadTable{"TooManyFields", std::string(kHeader) + "1\t一\t\t\t\t\t\t\t\t\t\t\n",
                 ":2: expected 11 fields"},
        BadTable{"EmptyId", std::string(kHeader) + "\t一\t\t\t\t\t\t\t\t\t\n", ":2: empty ID"},
        BadTable{"RepeatedId",
                 std::string(kHeader) + "5\t一\t\t\t\t\t\t\t\t\t\n5\t二\t\t\t\t\t\t\t\t\t\n",
                 ":3: repeated ID 5"},
        BadTable{"UnknownEscape", std::string(kHeader) + "1\t\\x\t\t\t\t\t\t\t\t\t\n",
                 ":2: unknown escape"},
        BadTable{"NotUtf8", std::string(kHeader) + "1\t\xB2\xBB\t\t\t\t\t\t\t\t\t\n",
                 ":2: not UTF-8"}),
    [](const auto& info) { return info.param.name; });

} // namespace
