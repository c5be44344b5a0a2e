// The query component over real SQLite files written by the fixture builder.
#include "fixture_db.h"
#include "idiom_store.h"
#include "text.h"
#include "uRC4.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = fs::temp_directory_path() / ("quorvel-store-" + std::to_string(random()));
            if (fs::create_directory(path_))
                return;
        }
        throw std::runtime_error("no temporary folder");
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "<no error>";
}

std::vector<std::string> column(IdiomQuery& q, const std::string& name) {
    std::vector<std::string> values;
    for (; !q.eof(); q.next())
        values.push_back(q.fieldAsText(name));
    return values;
}

class IdiomStore : public ::testing::Test {
protected:
    void SetUp() override {
        writeFixtureDatabase(db, standardFixtureRows());
        q.setConnectionText(db);
    }

    TempDir dir;
    std::string db = dir.file("data.dll");
    IdiomQuery q;
};

using Ids = std::vector<std::string>;

TEST_F(IdiomStore, SearchIsASubstringLikeWithTheKeywordQuoted) {
    struct Case {
        std::string keyword;
        std::string sql;
        Ids ids;
    };
    const Ids allWithWord = {"1", "57", "2", "a'b", "3", "4", "5", "7", "7", "8", "9", "10"};
    const std::vector<Case> cases = {
        {"一", "select * from data where word like '%一%'", {"1", "2", "a'b", "8", "9"}},
        {"a'b", "select * from data where word like '%a''b%'", {"a'b"}},
        {"ok", "select * from data where word like '%ok%'", {"8"}}, // letter case ignored
        {"一_一", "select * from data where word like '%一_一%'", {"1"}},
        {"%", "select * from data where word like '%%%'", allWithWord}, // not the null WORD
        {"无此成语", "select * from data where word like '%无此成语%'", {}},
    };
    for (const auto& c : cases) {
        SearchWords(q, c.keyword);
        EXPECT_EQ(q.sql(), c.sql);
        EXPECT_TRUE(q.isOpen());
        EXPECT_EQ(column(q, "ID"), c.ids) << c.keyword;
    }
}

TEST_F(IdiomStore, EmptyResultReadsEveryColumnAsEmptyText) {
    LoadEntry(q, "999");
    EXPECT_EQ(q.sql(), "select * from data where ID='999'");
    ASSERT_TRUE(q.eof());
    for (const char* name : {"ID", "WORD", "W1", "W2", "W3", "W4", "W5", "W6", "W7", "W8", "W9"})
        EXPECT_EQ(q.fieldAsText(name), "") << name;
}

TEST_F(IdiomStore, LoadEntryGivesTheFirstRowOfAnId) {
    LoadEntry(q, "7");
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.fieldAsText("WORD"), "画龙点睛");

    LoadEntry(q, "a'b");
    EXPECT_EQ(q.sql(), "select * from data where ID='a''b'");
    EXPECT_EQ(q.fieldAsText("WORD"), "a'b一言为定");

    LoadEntry(q, "ab"); // what a link to a'b asks for
    EXPECT_TRUE(q.eof());
}

TEST_F(IdiomStore, StoredColumnsDecipherToTheFixtureText) {
    const std::vector<FixtureRow> rows = standardFixtureRows();
    const FixtureRow& expected = rows.front();
    LoadEntry(q, *expected.id);
    EXPECT_EQ(q.fieldAsText("WORD"), *expected.word);
    for (int k = 0; k < 9; ++k) {
        const std::string name = "W" + std::to_string(k + 1);
        EXPECT_EQ(text::cp936ToUtf8(RC4DecryptFromHex(q.fieldAsText(name), kFieldKey)),
                  *expected.w[k])
            << name;
    }
    // Names are matched without regard to letter case.
    EXPECT_EQ(q.fieldAsText("word"), *expected.word);
}

TEST_F(IdiomStore, NullReadsAsEmptyText) {
    LoadEntry(q, "5");
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.fieldAsText("W1"), "");
    EXPECT_EQ(q.fieldAsText("W9"), "");
    EXPECT_NE(q.fieldAsText("W2"), "");

    LoadEntry(q, "11");
    ASSERT_FALSE(q.eof());
    EXPECT_EQ(q.fieldAsText("WORD"), "");
}

TEST_F(IdiomStore, MissingColumnNamesTheComponentAndTheColumn) {
    LoadEntry(q, "1");
    EXPECT_EQ(errorOf([&] { q.fieldAsText("W10"); }), "q_word: Field 'W10' not found");
    LoadEntry(q, "999");
    EXPECT_EQ(errorOf([&] { q.fieldAsText("W10"); }), "q_word: Field 'W10' not found");
}

TEST_F(IdiomStore, ConnectionIsMadeOnceAndKept) {
    q.setSql("select * from data where 1=2");
    q.open();
    EXPECT_TRUE(q.eof());
    // The open connection still reads the file it opened.
    fs::remove(db);
    SearchWords(q, "三心");
    EXPECT_EQ(column(q, "ID"), Ids{"57"});
}

TEST_F(IdiomStore, AcceptsAnOleDbStyleConnectionText) {
    // The application folder is taken as it is, a ";" in its name included.
    for (const std::string folder : {"", "a;b", "x;Persist Security Info=False;y"}) {
        std::string path = db;
        if (!folder.empty()) {
            fs::create_directory(dir.file(folder));
            path = dir.file(folder) + "/data.dll";
            writeFixtureDatabase(path, standardFixtureRows());
        }
        for (const std::string& text : {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path +
                                            ";Persist Security Info=False",
                                        "Data Source=" + path}) {
            IdiomQuery jet;
            jet.setConnectionText(text);
            LoadEntry(jet, "57");
            EXPECT_EQ(jet.fieldAsText("WORD"), "三心二意") << text;
        }
    }
}

TEST_F(IdiomStore, NeverWritesToTheDatabase) {
    q.setSql("delete from data returning ID");
    EXPECT_EQ(errorOf([&] { q.open(); }), "attempt to write a readonly database");
    SearchWords(q, "%");
    EXPECT_EQ(column(q, "ID").size(), 12u);
}

TEST(IdiomStoreErrors, NoConnectionText) {
    IdiomQuery q;
    EXPECT_EQ(errorOf([&] { SearchWords(q, "一"); }), "Missing Connection or ConnectionString");
    EXPECT_EQ(errorOf([&] { LoadEntry(q, "1"); }), "Missing Connection or ConnectionString");
    EXPECT_FALSE(q.isOpen());
    EXPECT_TRUE(q.eof());
}

TEST(IdiomStoreErrors, EngineErrorsCarryTheEngineMessage) {
    TempDir dir;
    const std::string notDb = dir.file("text.dll");
    std::ofstream(notDb) << std::string(4096, 'x');
    const std::string noTable = dir.file("other.dll");
    {
        sqlite3* handle = nullptr;
        ASSERT_EQ(sqlite3_open(noTable.c_str(), &handle), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(handle, "create table words (ID TEXT, WORD TEXT)", nullptr, nullptr,
                               nullptr),
                  SQLITE_OK);
        sqlite3_close(handle);
    }
    struct Case {
        std::string path;
        std::string message;
    };
    const std::vector<Case> cases = {
        {notDb, "file is not a database"},
        {noTable, "no such table: data"},
        {dir.file("missing.dll"), "unable to open database file"},
    };
    for (const auto& c : cases) {
        IdiomQuery q;
        q.setConnectionText(c.path);
        EXPECT_EQ(errorOf([&] { SearchWords(q, "一"); }), c.message) << c.path;
        // The window's opening query fails the same way.
        q.setSql("select * from data where 1=2");
        EXPECT_EQ(errorOf([&] { q.open(); }), c.message) << c.path;
        EXPECT_FALSE(q.isOpen());
    }
}

TEST(IdiomStoreErrors, FailedConnectIsRetriedByTheNextQuery) {
    TempDir dir;
    const std::string path = dir.file("data.dll");
    IdiomQuery q;
    q.setConnectionText(path);
    EXPECT_EQ(errorOf([&] { SearchWords(q, "一"); }), "unable to open database file");

    std::ofstream(path) << "not a database, not yet";
    EXPECT_EQ(errorOf([&] { SearchWords(q, "一"); }), "file is not a database");

    writeFixtureDatabase(path, standardFixtureRows());
    SearchWords(q, "三心");
    EXPECT_EQ(column(q, "WORD"), std::vector<std::string>{"三心二意"});
}

} // namespace
