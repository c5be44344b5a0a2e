#pragma once
// The query component `q_word` over the SQLite idiom database, and the two
// queries through which the dictionary reads it. Qt-free.

#include <memory>
#include <string>
#include <string_view>

class IdiomQuery {
public:
    explicit IdiomQuery(std::string name = "q_word");
    ~IdiomQuery();
    IdiomQuery(const IdiomQuery&) = delete;
    IdiomQuery& operator=(const IdiomQuery&) = delete;

    const std::string& name() const;

    // The database to connect to: a file path, or an OLE DB style text whose
    // "Data Source=" value is the path. Empty means none, and open() then throws
    // "Missing Connection or ConnectionString". The file is opened
    // read-only on the first open() and kept; a failed connect is retried
    // by the next open().
    void setConnectionText(std::string text);
    const std::string& connectionText() const;

    // Replaces the whole SQL text. Closes the query first.
    void setSql(std::string sql);
    const std::string& sql() const;

    // Connects if needed and runs the SQL; the first row becomes current.
    // Throws std::runtime_error with the engine's message on failure.
    void open();
    void close();
    bool isOpen() const;

    // True when there is no current row (also when the query is closed).
    bool eof() const;
    void next();

    // The current row's value of `column` as text: null reads as empty
    // text, and so does any column of an empty result. A column the result
    // lacks throws "<name>: Field '<column>' not found".
    std::string fieldAsText(std::string_view column) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The quoting rule: enclose in single quotes, double every inner quote.
std::string quoteSql(std::string_view value);
void appendQuotedSql(std::string& out, std::string_view value);

// "select * from data where word like '%<keyword>%'" (quoted), then open.
void SearchWords(IdiomQuery& q, std::string_view keyword);

// "select * from data where ID=<quoted id>", then open.
void LoadEntry(IdiomQuery& q, std::string_view id);
