// The HTML of both panes, the quoting rule and the identifier of a link.
#include "entry_html.h"
#include "idiom_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kItemStyle = "\" style=\"display:block; height:25px; color:#333333; "
                               "text-decoration:none; padding-top:5px; padding-left:5px;\">";

std::string item(const std::string& quotedId, const std::string& shown) {
    return "<a href=\"#" + quotedId + kItemStyle + shown + "</a>";
}

std::string red(const std::string& s) {
    return "<font color=red>" + s + "</font>";
}

struct QuoteCase {
    std::string value;
    std::string literal;
};

TEST(QuoteSql, EnclosesAndDoublesInnerQuotesOnly) {
    const std::vector<QuoteCase> cases = {
        {"", "''"},
        {"57", "'57'"},
        {"a'b", "'a''b'"},
        {"''", "''''''"},
        {"%a'b%", "'%a''b%'"},
        {"_[]\\\"", "'_[]\\\"'"}, // wildcards, backslash and double quote pass unchanged
        {"一心", "'一心'"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(quoteSql(c.value), c.literal);
}

struct ItemCase {
    const char* what;
    std::string id;
    std::string word;
    std::string keyword;
    std::string expected;
};

TEST(ListItem, MarksEveryExactOccurrenceOfTheKeyword) {
    const std::vector<ItemCase> cases = {
        {"both occurrences", "12", "一心一意", "一",
         item("'12'", red("一") + "心" + red("一") + "意")},
        {"whole word", "1", "一心一意", "一心一意", item("'1'", red("一心一意"))},
        {"quote in id and keyword", "a'b", "a'b一言为定", "a'b",
         item("'a''b'", red("a'b") + "一言为定")},
        {"other letter case stays unmarked", "8", "一字千金OK", "ok", item("'8'", "一字千金OK")},
        {"wildcard match stays unmarked", "1", "一心一意", "一_一", item("'1'", "一心一意")},
        {"percent sign found literally", "10", "十拿九稳100%", "%",
         item("'10'", "十拿九稳100" + red("%"))},
        {"mark-up in the word kept", "2", "<b>一鸣惊人</b>", "一",
         item("'2'", "<b>" + red("一") + "鸣惊人</b>")},
        {"mark-up in the keyword kept", "2", "<b>一鸣惊人</b>", "<b>",
         item("'2'", red("<b>") + "一鸣惊人</b>")},
        {"overlapping occurrences", "x", "aaa", "aa", item("'x'", red("aa") + "a")},
        {"no occurrence", "57", "三心二意", "一", item("'57'", "三心二意")},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entry_html::listItem(c.id, c.word, c.keyword), c.expected) << c.what;
}

struct LinkCase {
    const char* what;
    std::string stored;
    int column;
    std::string shown;
};

TEST(RewriteLinks, CrossReferencesBecomeInWindowLinks) {
    const std::string ref = "<A href='57.html'>三心二意</A>";
    const std::vector<LinkCase> cases = {
        {"W1", ref, 1, "<A href=\"#'57'\" >三心二意</A>"},
        {"W2 keeps its stray semicolon", ref, 2, "<A href=\"#'57';\" >三心二意</A>"},
        {"W3", ref, 3, "<A href=\"#'57'\" >三心二意</A>"},
        {"W9", ref, 9, "<A href=\"#'57'\" >三心二意</A>"},
        {"two links", "见" + ref + "、" + ref, 6,
         "见<A href=\"#'57'\" >三心二意</A>、<A href=\"#'57'\" >三心二意</A>"},
        // Only the opening is case-sensitive; the tail is rewritten wherever it stands.
        {"lower-case opening gets no hash", "<a href='57.html'>x</a>", 1, "<a href='57'\" >x</a>"},
        {"plain web link untouched", "<a href=\"http://127.0.0.1:1/p.html\">x</a>", 3,
         "<a href=\"http://127.0.0.1:1/p.html\">x</a>"},
        {"opening without the target form", "<A href=x>y</A>", 4, "<A href=\"#x>y</A>"},
        {"no links", "一心一意", 5, "一心一意"},
        {"empty", "", 2, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entry_html::rewriteLinks(c.stored, c.column), c.shown) << c.what;
}

TEST(RewriteLinks, RewrittenTargetLeadsBackToTheEntry) {
    // A pane resolves href="#'57'" against its blank page.
    const std::string ref = "<A href='57.html'>三心二意</A>";
    const auto target = [](const std::string& html) {
        const auto begin = html.find("\"#") + 1;
        return "about:blank" + html.substr(begin, html.find('"', begin) - begin);
    };
    EXPECT_EQ(entry_html::idFromUrl(target(entry_html::rewriteLinks(ref, 1))), "57");
    EXPECT_EQ(entry_html::idFromUrl(target(entry_html::rewriteLinks(ref, 2))), "57;");
}

TEST(DetailDocument, TenRowsByteForByte) {
    const std::array<std::string, 9> w = {"v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9"};
    const std::string nb8 = "&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
    const std::string nb2 = "&nbsp;&nbsp;";
    const std::string label30 = "<tr><td width=\"80\" height=\"30\"><strong>";
    const std::string label58 = "<tr><td width=\"80\" height=\"58\"><strong>";
    const std::string value = ":</strong></td><td width=\"450\">";
    const std::string expected =
        "<table width=\"530\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">" + label30 + "词" +
        nb8 + "目" + value + "<strong><font color=red><b>一心一意</b></font></strong></td></tr>" +
        label30 + "使用频率:</strong></td><td width=\"420\">v1</td></tr>" + label30 + "发" + nb8 +
        "音" + value + "<font color=red>v2</font></td></tr>" + label58 + "释" + nb8 + "义" + value +
        "v3</td></tr>" + label58 + "出" + nb8 + "处" + value + "v4</td></tr>" + label58 + "示" +
        nb8 + "例" + value + "v5</td></tr>" + label30 + "近" + nb2 + "义" + nb2 + "词" + value +
        "v6</td></tr>" + label30 + "反" + nb2 + "义" + nb2 + "词" + value + "v7</td></tr>" +
        label30 + "英" + nb8 + "文" + value + "v8</td></tr>" + label30 + "用" + nb8 + "法" + value +
        "v9</td></tr></table>";
    EXPECT_EQ(entry_html::detailDocument("<b>一心一意</b>", w), expected);
}

TEST(DetailDocument, MissingEntryShowsLabelsWithEmptyCells) {
    const std::string doc = entry_html::detailDocument("", {});
    EXPECT_NE(doc.find("<font color=red></font></strong></td></tr>"), std::string::npos);
    EXPECT_NE(doc.find("<td width=\"420\"></td></tr>"), std::string::npos);
    EXPECT_NE(doc.find("<font color=red></font></td></tr>"), std::string::npos);
    std::size_t rows = 0;
    for (std::size_t p = doc.find("<tr>"); p != std::string::npos; p = doc.find("<tr>", p + 1))
        ++rows;
    EXPECT_EQ(rows, 10u);
}

struct UrlCase {
    std::string url;
    std::optional<std::string> id;
};

TEST(IdFromUrl, TextAfterTheFirstHashWithoutApostrophes) {
    const std::vector<UrlCase> cases = {
        {"about:blank#'57'", "57"},
        {"about:blank#'a''b'", "ab"}, // the apostrophe of a'b is lost on the way
        {"about:blank#'57';", "57;"},
        {"about:blank#1#2", "1#2"},
        {"http://127.0.0.1:1/plain.html", std::nullopt},
        {"about:blank", std::nullopt},
        {"http://127.0.0.1:1/other.html#section", "section"}, // any "#" counts as an entry link
        {"#", ""},
        {"'#'", ""},
        {"it's#x'y", "xy"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entry_html::idFromUrl(c.url), c.id) << c.url;
}

} // namespace
