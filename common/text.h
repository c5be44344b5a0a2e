#pragma once
// Text rules shared by both programs. Text inside the programs is UTF-8;
// code page 936 appears only where bytes are stored in it.

#include <initializer_list>
#include <string>
#include <string_view>

namespace text {

// Removes leading and trailing bytes of codes 0 to 32. Other spaces, such as
// the ideographic space U+3000, stay.
std::string trim(std::string_view s);

// True when trim(s) is empty.
bool isBlank(std::string_view s);

// Replaces every occurrence of `pattern`, left to right and without overlaps.
// The match is exact and case-sensitive, never begins inside a multi-byte
// UTF-8 character, and inserted text is never searched again. An empty
// pattern leaves the text unchanged.
std::string replaceAll(std::string_view s, std::string_view pattern, std::string_view replacement);

// The same replacement appended to `out`, the replacement written as the
// concatenation of `pieces`: for callers that build one large text from
// many small ones without a temporary per piece.
void appendReplacingAll(std::string& out, std::string_view s, std::string_view pattern,
                        std::initializer_list<std::string_view> pieces);

// Compares two version texts byte by byte as zero-terminated strings, each
// byte unsigned: the first differing byte decides, a prefix is smaller, and
// a zero byte ends a text. Returns <0, 0 or >0.
int compareVersions(std::string_view a, std::string_view b);

// The message of the default error box: a full stop is added when the
// message's last byte sorts after ".".
std::string errorBoxMessage(std::string_view message);

// CP936 (GBK) bytes to UTF-8. Bytes that are not valid CP936 become U+FFFD;
// this never fails.
std::string cp936ToUtf8(std::string_view bytes);

// UTF-8 to CP936 bytes. Characters that CP936 cannot hold become "?", and
// invalid UTF-8 sequences do too; this never fails.
std::string utf8ToCp936(std::string_view utf8);

} // namespace text
