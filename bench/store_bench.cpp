// store_bench <data.dll> [repeats]: a search through the idiom store, from
// SearchWords to the finished list document, against the floor of a bare
// SQLite loop that runs the same statement on the same file and reads ID and
// WORD of every row. Prints the medians and their ratio (goal: at most 1.2).

#include "entry_html.h"
#include "idiom_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// What the list pane gets: the store's rows through entry_html::appendListItem.
struct StoreRun {
    std::size_t rows = 0;
    std::size_t bytes = 0;
};

StoreRun storeSearch(IdiomQuery& q, const std::string& keyword) {
    StoreRun run;
    SearchWords(q, keyword);
    std::string document;
    for (; !q.eof(); q.next()) {
        entry_html::appendListItem(document, q.fieldAsText("ID"), q.fieldAsText("WORD"), keyword);
        ++run.rows;
    }
    run.bytes = document.size();
    return run;
}

// The same walk without building the document, to tell the store's own
// cost from the HTML's.
std::size_t storeWalk(IdiomQuery& q, const std::string& keyword) {
    std::size_t bytes = 0;
    SearchWords(q, keyword);
    for (; !q.eof(); q.next())
        bytes += q.fieldAsText("ID").size() + q.fieldAsText("WORD").size();
    return bytes;
}

class Floor {
public:
    explicit Floor(const std::string& path) {
        if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                            nullptr) != SQLITE_OK)
            throw std::runtime_error(path + ": " + sqlite3_errmsg(db_));
    }
    ~Floor() { sqlite3_close_v2(db_); }
    Floor(const Floor&) = delete;
    Floor& operator=(const Floor&) = delete;

    std::size_t run(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        std::size_t bytes = 0;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* id = sqlite3_column_text(stmt, 0);
            const unsigned char* word = sqlite3_column_text(stmt, 1);
            bytes += static_cast<std::size_t>(sqlite3_column_bytes(stmt, 0)) +
                     static_cast<std::size_t>(sqlite3_column_bytes(stmt, 1));
            bytes += (id ? id[0] : 0u) + (word ? word[0] : 0u);
        }
        sqlite3_finalize(stmt);
        return bytes;
    }

private:
    sqlite3* db_ = nullptr;
};

void benchKeyword(const std::string& path, const std::string& keyword, int repeats) {
    IdiomQuery q;
    q.setConnectionText(path);
    Floor floor(path);
    const std::string sql = "select * from data where word like " + quoteSql("%" + keyword + "%");

    // Warm the page cache, the connections and the allocator.
    const StoreRun first = storeSearch(q, keyword);
    std::size_t sink = floor.run(sql) + storeWalk(q, keyword);

    std::vector<double> store, walk, bare;
    const std::function<void()> runs[3] = {
        [&] {
            const auto start = Clock::now();
            sink += floor.run(sql);
            bare.push_back(millisecondsSince(start));
        },
        [&] {
            const auto start = Clock::now();
            sink += storeSearch(q, keyword).bytes;
            store.push_back(millisecondsSince(start));
        },
        [&] {
            const auto start = Clock::now();
            sink += storeWalk(q, keyword);
            walk.push_back(millisecondsSince(start));
        },
    };
    // Interleaved, so drift of the machine touches all three alike, and in
    // turns, so none always runs right after another.
    for (int i = 0; i < repeats; ++i)
        for (int k = 0; k < 3; ++k)
            runs[(i + k) % 3]();
    const double s = median(store), w = median(walk), b = median(bare);
    std::printf("keyword %s: %zu rows, list document %zu bytes, %d runs\n", keyword.c_str(),
                first.rows, first.bytes, repeats);
    std::printf("  bare SQLite loop            %8.3f ms (median)\n", b);
    std::printf("  store rows only             %8.3f ms  ratio %.3f\n", w, w / b);
    std::printf("  store + list document       %8.3f ms  ratio %.3f  (goal <= 1.2)%s\n", s, s / b,
                s / b <= 1.2 ? "" : "  MISSED");
    if (sink == 0)
        std::printf("  (no data read)\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: store_bench <data.dll> [repeats]\n");
        return 2;
    }
    const std::string path = argv[1];
    const int repeats = argc == 3 ? std::max(1, std::atoi(argv[2])) : 101;
    try {
        benchKeyword(path, "一", repeats);
        benchKeyword(path, "鳏", repeats);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "store_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
