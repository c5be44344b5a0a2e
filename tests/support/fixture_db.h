#pragma once
// Writes small "data.dll" files for tests: a table "data" with ID, WORD and
// W1..W9, the descriptive columns enciphered the way the real database is.

#include <array>
#include <optional>
#include <string>
#include <vector>

struct FixtureRow {
    std::optional<std::string> id;   // null when empty optional
    std::optional<std::string> word; // UTF-8
    // W1..W9 as readable UTF-8; stored as CP936 bytes enciphered to hex.
    // A null optional is stored as SQL NULL.
    std::array<std::optional<std::string>, 9> w;
    // When set, the column is stored exactly as given (for invalid hex).
    std::array<std::optional<std::string>, 9> rawW;
};

// Creates (replacing) a database at `path` holding `rows`. Throws on failure.
void writeFixtureDatabase(const std::string& path, const std::vector<FixtureRow>& rows);

// The standard fixture: a handful of rows covering marked-up words, quotes
// in IDs and words, cross-references in W1 and W2, an invalid hex column,
// null columns and a duplicate ID. See fixture_db.cpp for the rows.
std::vector<FixtureRow> standardFixtureRows();
