#include "idiom_store.h"

#include "platform.h"
#include "text.h"

#include <sqlite3.h>

#include <stdexcept>
#include <vector>

namespace {

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z')
            x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z')
            y = static_cast<char>(y - 'a' + 'A');
        if (x != y)
            return false;
    }
    return true;
}

// The value of "Data Source=" at the start of `rest`. It is not quoted, and
// a folder may have ";" in its name: the first cut at a ";" (or at the end)
// that names an existing file wins, otherwise the cut at the first ";".
std::string dataSource(std::string_view rest) {
    const std::size_t first = rest.find(';');
    for (std::size_t cut = first;; cut = rest.find(';', cut + 1)) {
        std::string candidate(rest.substr(0, cut));
        if (platform::fileExists(candidate))
            return candidate;
        if (cut == std::string_view::npos)
            break;
    }
    return std::string(rest.substr(0, first));
}

// The window may hand over an OLE DB style connection text; only its data
// source matters here. Any other text is taken as the path itself.
std::string databasePath(std::string_view connection) {
    static constexpr std::string_view kKey = "Data Source=";
    for (std::size_t i = 0; i + kKey.size() <= connection.size(); ++i)
        if (equalsIgnoringAsciiCase(connection.substr(i, kKey.size()), kKey))
            return dataSource(connection.substr(i + kKey.size()));
    return std::string(connection);
}

} // namespace

struct IdiomQuery::Impl {
    std::string name;
    std::string connectionText;
    std::string sql;
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    bool atEnd = true;
    // The result's column names, looked up on every read; a handful of
    // short names, so a linear scan beats hashing.
    std::vector<std::string> columns;

    ~Impl() {
        sqlite3_finalize(stmt);
        sqlite3_close_v2(db);
    }

    void connect() {
        const std::string path = databasePath(connectionText);
        sqlite3* handle = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        // Opening is lazy in SQLite; reading the schema is what tells a
        // database from any other file, so it belongs to connecting.
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(handle, "pragma schema_version", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) {
            const std::string message = handle ? sqlite3_errmsg(handle) : "out of memory";
            sqlite3_close_v2(handle);
            throw std::runtime_error(message);
        }
        db = handle;
    }

    void finish() {
        sqlite3_finalize(stmt);
        stmt = nullptr;
        atEnd = true;
        columns.clear();
    }

    void step() {
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW) {
            atEnd = false;
            return;
        }
        atEnd = true;
        if (rc != SQLITE_DONE) {
            const std::string message = sqlite3_errmsg(db);
            finish();
            throw std::runtime_error(message);
        }
    }

    int columnIndex(std::string_view column) const {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (equalsIgnoringAsciiCase(columns[i], column))
                return static_cast<int>(i);
        return -1;
    }
};

IdiomQuery::IdiomQuery(std::string name) : d(std::make_unique<Impl>()) {
    d->name = std::move(name);
}

IdiomQuery::~IdiomQuery() = default;

const std::string& IdiomQuery::name() const {
    return d->name;
}

void IdiomQuery::setConnectionText(std::string text) {
    close();
    if (text != d->connectionText) {
        sqlite3_close_v2(d->db);
        d->db = nullptr;
    }
    d->connectionText = std::move(text);
}

const std::string& IdiomQuery::connectionText() const {
    return d->connectionText;
}

void IdiomQuery::setSql(std::string sql) {
    close();
    d->sql = std::move(sql);
}

const std::string& IdiomQuery::sql() const {
    return d->sql;
}

void IdiomQuery::open() {
    if (isOpen())
        return;
    if (d->connectionText.empty())
        throw std::runtime_error("Missing Connection or ConnectionString");
    if (!d->db)
        d->connect();

    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(d->db, d->sql.data(), static_cast<int>(d->sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw std::runtime_error(sqlite3_errmsg(d->db));
    }
    if (!stmt || sqlite3_column_count(stmt) == 0) {
        sqlite3_finalize(stmt);
        throw std::runtime_error(d->name + ": CommandText does not return a result set");
    }
    d->stmt = stmt;
    const int count = sqlite3_column_count(stmt);
    d->columns.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char* column = sqlite3_column_name(stmt, i);
        d->columns.emplace_back(column ? column : "");
    }
    d->step();
}

void IdiomQuery::close() {
    d->finish();
}

bool IdiomQuery::isOpen() const {
    return d->stmt != nullptr;
}

bool IdiomQuery::eof() const {
    return d->atEnd;
}

void IdiomQuery::next() {
    if (isOpen() && !d->atEnd)
        d->step();
}

std::string IdiomQuery::fieldAsText(std::string_view column) const {
    if (!isOpen())
        throw std::runtime_error(d->name + ": Cannot perform this operation on a closed dataset");
    const int index = d->columnIndex(column);
    if (index < 0)
        throw std::runtime_error(d->name + ": Field '" + std::string(column) + "' not found");
    if (d->atEnd)
        return {};
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(d->stmt, index));
    if (!bytes)
        return {};
    return std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(d->stmt, index)));
}

void appendQuotedSql(std::string& out, std::string_view value) {
    out += '\'';
    text::appendReplacingAll(out, value, "'", {"''"});
    out += '\'';
}

std::string quoteSql(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    appendQuotedSql(out, value);
    return out;
}

namespace {

void run(IdiomQuery& q, std::string sql) {
    q.close();
    q.setSql(std::move(sql));
    q.open();
}

} // namespace

void SearchWords(IdiomQuery& q, std::string_view keyword) {
    std::string pattern = "%";
    pattern += keyword;
    pattern += '%';
    run(q, "select * from data where word like " + quoteSql(pattern));
}

void LoadEntry(IdiomQuery& q, std::string_view id) {
    run(q, "select * from data where ID=" + quoteSql(id));
}
