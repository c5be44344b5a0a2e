#include "entry_html.h"

#include "idiom_store.h"
#include "text.h"

namespace entry_html {

std::string listItem(std::string_view id, std::string_view word, std::string_view keyword) {
    std::string item;
    appendListItem(item, id, word, keyword);
    return item;
}

void appendListItem(std::string& document, std::string_view id, std::string_view word,
                    std::string_view keyword) {
    document += "<a href=\"#";
    appendQuotedSql(document, id);
    document += R"(" style="display:block; height:25px; color:#333333; text-decoration:none; )"
                R"(padding-top:5px; padding-left:5px;">)";
    text::appendReplacingAll(document, word, keyword, {"<font color=red>", keyword, "</font>"});
    document += "</a>";
}

std::string rewriteLinks(std::string_view value, int column) {
    const std::string opened = text::replaceAll(value, "<A href=", "<A href=\"#");
    // The pronunciation row has always carried a stray ";" in its links,
    // which makes them point at no entry; kept so stored data reads the same.
    return text::replaceAll(opened, ".html'>", column == 2 ? "';\" >" : "'\" >");
}

namespace {

struct Row {
    std::string_view open;
    std::string_view close;
};

// Row 1 shows WORD, rows 2 to 10 show W1 to W9.
constexpr Row kRows[10] = {
    {R"(<tr><td width="80" height="30"><strong>词&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;目:</strong></td><td width="450"><strong><font color=red>)",
     "</font></strong></td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>使用频率:</strong></td><td width="420">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>发&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;音:</strong></td><td width="450"><font color=red>)",
     "</font></td></tr>"},
    {R"(<tr><td width="80" height="58"><strong>释&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;义:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="58"><strong>出&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;处:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="58"><strong>示&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;例:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>近&nbsp;&nbsp;义&nbsp;&nbsp;词:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>反&nbsp;&nbsp;义&nbsp;&nbsp;词:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>英&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;文:</strong></td><td width="450">)",
     "</td></tr>"},
    {R"(<tr><td width="80" height="30"><strong>用&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;法:</strong></td><td width="450">)",
     "</td></tr>"},
};

void appendRow(std::string& out, const Row& row, std::string_view value) {
    out += row.open;
    out += value;
    out += row.close;
}

} // namespace

std::string detailDocument(std::string_view word, const std::array<std::string, 9>& columns) {
    std::string out = R"(<table width="530" border="0" cellpadding="0" cellspacing="0">)";
    appendRow(out, kRows[0], word);
    for (std::size_t k = 0; k < columns.size(); ++k)
        appendRow(out, kRows[k + 1], columns[k]);
    out += "</table>";
    return out;
}

std::optional<std::string> idFromUrl(std::string_view url) {
    std::string stripped;
    stripped.reserve(url.size());
    for (char c : url)
        if (c != '\'')
            stripped += c;
    const std::size_t hash = stripped.find('#');
    if (hash == std::string::npos)
        return std::nullopt;
    return stripped.substr(hash + 1);
}

} // namespace entry_html
