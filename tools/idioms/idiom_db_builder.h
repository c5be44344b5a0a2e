#pragma once
// Builds the idiom database "data.dll" from the table that extract.js
// writes: WORD as UTF-8, W1..W9 as their CP936 bytes enciphered with the
// field key, the way the dictionary reads them.

#include <array>
#include <optional>
#include <string>
#include <vector>

struct IdiomRecord {
    std::string id;
    std::string word;             // UTF-8
    std::array<std::string, 9> w; // W1..W9, readable UTF-8 (HTML)
};

// Reads the tab-separated table: the header "ID\tWORD\tW1..W9", then one
// record per line, "\\", "\t", "\n" and "\r" escaped with a backslash.
// Throws std::runtime_error naming the line on a malformed record, an empty
// or repeated ID, or text that is not UTF-8.
std::vector<IdiomRecord> readIdiomTable(const std::string& path);

struct BuildReport {
    std::size_t rows = 0;
    // Fields holding characters that CP936 lacks (stored as "?").
    std::size_t lossyFields = 0;
};

// One row of table "data" as stored: each column text, or SQL NULL when
// empty; W1..W9 already in their enciphered form.
struct StoredRow {
    std::optional<std::string> id;
    std::optional<std::string> word;
    std::array<std::optional<std::string>, 9> w;
};

// The stored form of a readable W column: its CP936 bytes enciphered with
// the field key, as hexadecimal text.
std::string encipherColumn(const std::string& utf8);

// Writes table "data" with `rows`, in order, to `path` through a temporary
// file beside it, so a failed write leaves any previous file untouched.
// Throws on failure.
void writeDataTable(const std::string& path, const std::vector<StoredRow>& rows);

// Writes the database to `path` through a temporary file beside it, so a
// failed build leaves any previous database untouched. Throws on failure.
BuildReport writeIdiomDatabase(const std::string& path, const std::vector<IdiomRecord>& records);
