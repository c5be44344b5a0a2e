#pragma once
// The HTML that the two panes show: list items, the detail table, the link
// rewriting of entry columns and the entry identifier of a link. Nothing here
// escapes HTML: mark-up in the data renders as mark-up. Qt-free.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace entry_html {

// One list item: a block link to "#" + quoted id, showing `word` with every
// occurrence of `keyword` marked in red.
std::string listItem(std::string_view id, std::string_view word, std::string_view keyword);
// The same item appended to `document`, for building a long list without a
// temporary per item.
void appendListItem(std::string& document, std::string_view id, std::string_view word,
                    std::string_view keyword);

// Rewrites the cross-references of deciphered column W<column> (1..9) into
// in-window links.
std::string rewriteLinks(std::string_view value, int column);

// The ten-row detail table for `word` and the rewritten columns W1..W9.
std::string detailDocument(std::string_view word, const std::array<std::string, 9>& columns);

// The entry identifier of a navigation URL: every "'" removed, then what
// follows the first "#". Empty optional when the URL holds no "#".
std::optional<std::string> idFromUrl(std::string_view url);

} // namespace entry_html
