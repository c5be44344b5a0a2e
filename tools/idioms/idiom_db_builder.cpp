#include "idiom_db_builder.h"

#include "text.h"
#include "uRC4.h"

#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <unordered_set>

namespace {

constexpr std::string_view kHeader = "ID\tWORD\tW1\tW2\tW3\tW4\tW5\tW6\tW7\tW8\tW9";

[[noreturn]] void fail(const std::string& path, std::size_t line, const std::string& what) {
    throw std::runtime_error(path + ":" + std::to_string(line) + ": " + what);
}

bool isUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

// Splits one line into fields, undoing the backslash escapes.
std::vector<std::string> splitFields(std::string_view line, const std::string& path,
                                     std::size_t lineNo) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\') {
            if (++i == line.size())
                fail(path, lineNo, "backslash at the end of the line");
            switch (line[i]) {
            case '\\':
                fields.back() += '\\';
                break;
            case 't':
                fields.back() += '\t';
                break;
            case 'n':
                fields.back() += '\n';
                break;
            case 'r':
                fields.back() += '\r';
                break;
            default:
                fail(path, lineNo, std::string("unknown escape \\") + line[i]);
            }
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

class Database {
public:
    explicit Database(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            nullptr) != SQLITE_OK) {
            const std::string message = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw std::runtime_error(path + ": " + message);
        }
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* get() const { return db_; }

    void exec(const char* sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : sqlite3_errmsg(db_);
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }

    void check(int rc) const {
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            throw std::runtime_error(sqlite3_errmsg(db_));
    }

    // Closes now so that the file is complete before it is renamed.
    void close() {
        if (sqlite3_close(db_) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        db_ = nullptr;
    }

private:
    sqlite3* db_ = nullptr;
};

class Insert {
public:
    explicit Insert(Database& db) : db_(db) {
        db.check(
            sqlite3_prepare_v2(db.get(),
                               "insert into data (ID, WORD, W1, W2, W3, W4, W5, W6, W7, W8, W9) "
                               "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                               -1, &stmt_, nullptr));
    }
    ~Insert() { sqlite3_finalize(stmt_); }
    Insert(const Insert&) = delete;
    Insert& operator=(const Insert&) = delete;

    void bind(int index, const std::optional<std::string>& value) {
        if (value)
            db_.check(sqlite3_bind_text(stmt_, index, value->data(),
                                        static_cast<int>(value->size()), SQLITE_TRANSIENT));
        else
            db_.check(sqlite3_bind_null(stmt_, index));
    }

    void run() {
        db_.check(sqlite3_step(stmt_));
        db_.check(sqlite3_reset(stmt_));
    }

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
};

} // namespace

std::vector<IdiomRecord> readIdiomTable(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path + ": cannot open");
    std::vector<IdiomRecord> records;
    std::unordered_set<std::string> ids;
    std::string line;
    std::size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (lineNo == 1) {
            if (line != kHeader)
                fail(path, lineNo, "the header is not \"ID\\tWORD\\tW1..W9\"");
            continue;
        }
        if (line.empty())
            continue;
        if (!isUtf8(line))
            fail(path, lineNo, "not UTF-8");
        std::vector<std::string> fields = splitFields(line, path, lineNo);
        if (fields.size() != 11)
            fail(path, lineNo, "expected 11 fields, found " + std::to_string(fields.size()));
        IdiomRecord record;
        record.id = std::move(fields[0]);
        record.word = std::move(fields[1]);
        for (std::size_t k = 0; k < 9; ++k)
            record.w[k] = std::move(fields[k + 2]);
        if (record.id.empty())
            fail(path, lineNo, "empty ID");
        // LoadEntry shows only the first row of an ID: a repeat would be unreachable.
        if (!ids.insert(record.id).second)
            fail(path, lineNo, "repeated ID " + record.id);
        records.push_back(std::move(record));
    }
    if (lineNo == 0)
        fail(path, 1, "empty file");
    return records;
}

std::string encipherColumn(const std::string& utf8) {
    return RC4EncryptToHex(text::utf8ToCp936(utf8), kFieldKey);
}

void writeDataTable(const std::string& path, const std::vector<StoredRow>& rows) {
    namespace fs = std::filesystem;
    const std::string temp = path + ".tmp";
    std::error_code ignored;
    fs::remove(temp, ignored);
    fs::remove(temp + "-journal", ignored);
    try {
        Database db(temp);
        // A fresh file that is thrown away on failure needs no journal.
        // Every search scans the whole table: large pages make that scan
        // about a fifth faster than the default 4 KiB.
        db.exec("pragma page_size = 65536; pragma journal_mode = off; pragma synchronous = off;");
        db.exec("create table data (ID text, WORD text, W1 text, W2 text, W3 text, W4 text, "
                "W5 text, W6 text, W7 text, W8 text, W9 text)");
        db.exec("begin");
        {
            Insert insert(db);
            for (const StoredRow& row : rows) {
                insert.bind(1, row.id);
                insert.bind(2, row.word);
                for (std::size_t k = 0; k < 9; ++k)
                    insert.bind(static_cast<int>(k) + 3, row.w[k]);
                insert.run();
            }
        }
        db.exec("create index data_id on data (ID)");
        db.exec("commit");
        db.close();
        fs::rename(temp, path);
    } catch (...) {
        fs::remove(temp, ignored);
        throw;
    }
}

BuildReport writeIdiomDatabase(const std::string& path, const std::vector<IdiomRecord>& records) {
    BuildReport report;
    std::vector<StoredRow> rows;
    rows.reserve(records.size());
    for (const IdiomRecord& record : records) {
        StoredRow& row = rows.emplace_back();
        row.id = record.id;
        row.word = record.word;
        for (std::size_t k = 0; k < 9; ++k) {
            if (text::cp936ToUtf8(text::utf8ToCp936(record.w[k])) != record.w[k])
                ++report.lossyFields;
            row.w[k] = encipherColumn(record.w[k]);
        }
    }
    writeDataTable(path, rows);
    report.rows = rows.size();
    return report;
}
