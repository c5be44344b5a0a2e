// The shared text rules: trim, replace-all, version order, the error box
// message and the CP936 conversions.
#include "text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct TrimCase {
    std::string in;
    std::string out;
};

TEST(Trim, RemovesCodesUpTo32AtBothEndsOnly) {
    const std::vector<TrimCase> cases = {
        {"", ""},
        {" \t\r\n ", ""},
        {"  一心一意  ", "一心一意"},
        {"\x01\x1f"
         "abc\x20",
         "abc"},
        {"\0a b\0"s, "a b"}, // a zero byte is trimmed like any control code
        {"!abc!", "!abc!"},  // 33 is the first code kept
        {"\x7f"
         "a\x7f",
         "\x7f"
         "a\x7f"},                            // DEL is no blank
        {"\u3000一\u3000", "\u3000一\u3000"}, // the ideographic space stays
        {"\u00a0a\u00a0", "\u00a0a\u00a0"},   // so does the no-break space
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::trim(c.in), c.out) << "input: " << c.in;
        EXPECT_EQ(text::isBlank(c.in), c.out.empty()) << "input: " << c.in;
    }
}

struct ReplaceCase {
    const char* what;
    std::string text;
    std::string pattern;
    std::string replacement;
    std::string expected;
};

TEST(ReplaceAll, LeftToRightWithoutOverlapsOrRescanning) {
    const std::vector<ReplaceCase> cases = {
        {"overlap", "aaa", "aa", "b", "ba"},
        {"adjacent", "aaaa", "aa", "b", "bb"},
        {"ends", "xax", "x", "y", "yay"},
        {"removal", "a-b-c", "-", "", "abc"},
        {"no match", "abc", "d", "x", "abc"},
        {"case-sensitive", "ABC abc", "abc", "X", "ABC X"},
        {"empty pattern", "abc", "", "x", "abc"},
        {"empty text", "", "a", "x", ""},
        {"inserted text holds the pattern", "ab", "a", "aa", "aab"},
        {"marking", "一心一意", "一", "<font color=red>一</font>",
         "<font color=red>一</font>心<font color=red>一</font>意"},
        {"marking keeps its own mark", "一一", "一", "[一]", "[一][一]"},
        // 一丁 is E4 B8 80 E4 B8 81: the bytes 80 E4 B8 straddle the two
        // characters and must not match.
        {"straddling bytes", "一丁", "\x80\xE4\xB8", "x", "一丁"},
        {"continuation byte", "一", "\x80", "x", "一"},
        {"whole characters next to straddles", "丁一丁", "一", "x", "丁x丁"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::replaceAll(c.text, c.pattern, c.replacement), c.expected) << c.what;
}

struct VersionCase {
    std::string latest;
    int sign; // against "1.2.0.0"
};

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(CompareVersions, BytewiseAgainstTheCurrentVersion) {
    const std::vector<VersionCase> cases = {
        {"1.2.0.1", 1},
        {"1.3", 1},
        {"2", 1},
        {"1.2.0.0", 0},
        {"1.2", -1},
        {"", -1},
        {"0.9.9.9", -1},
        {"1.10.0.0", -1}, // not parsed into numbers
        {"error", 1},
        {"A", 1},
        {"一", 1},   // its first byte is 0xE4
        {"\x80", 1}, // unsigned: would be negative as a signed char
        {"\xff", 1},
        {"1.2.0.0\0"
         "9"s,
         0}, // a zero byte ends the text
        {"1\0"
         ".3"s,
         -1},
        {"1.2.0.0 ", 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(sign(text::compareVersions(c.latest, "1.2.0.0")), c.sign)
            << "latest: " << c.latest;
        EXPECT_EQ(sign(text::compareVersions("1.2.0.0", c.latest)), -c.sign)
            << "latest: " << c.latest;
    }
}

TEST(ErrorBoxMessage, FullStopOnlyAfterBytesAboveIt) {
    const std::vector<TrimCase> cases = {
        {"", ""},
        {"abc", "abc."},
        {"abc.", "abc."},
        {"abc!", "abc!"},
        {"abc-", "abc-"},  // 45, just below the full stop
        {"abc/", "abc/."}, // 47, just above it
        {"count 0", "count 0."},
        {"'$4G' is not a valid integer value", "'$4G' is not a valid integer value."},
        {"连接失败", "连接失败."}, // the last byte of a Chinese character is above it
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::errorBoxMessage(c.in), c.out) << "message: " << c.in;
}

TEST(Cp936, ChineseTextRoundTrips) {
    const std::string utf8 = "一心一意，形容做事专心。ABC 123 · yī xīn yī yì";
    const std::string cp936 = text::utf8ToCp936(utf8);
    EXPECT_EQ(cp936.substr(0, 4), "\xD2\xBB\xD0\xC4"); // 一心
    EXPECT_EQ(text::cp936ToUtf8(cp936), utf8);
    EXPECT_EQ(text::utf8ToCp936(""), "");
    EXPECT_EQ(text::cp936ToUtf8(""), "");
}

TEST(Cp936, InvalidBytesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::vector<TrimCase> cases = {
        {"\xFF", fffd},
        {"\xFF"
         "A",
         fffd + "A"},
        {"\xD2", fffd}, // a lead byte cut off at the end
        {"\xD2\xBB\xD2", "一" + fffd},
        {"\xD2 a", fffd + " a"}, // a blank is no trail byte
        {"\x81\x30"
         "A",
         fffd + "0A"},                        // nor is a digit
        {"a\xFF\xD2\xBB", "a" + fffd + "一"}, // a valid pair after it survives
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::cp936ToUtf8(c.in), c.out);
}

TEST(Cp936, UnrepresentableOrInvalidUtf8BecomesQuestionMark) {
    const std::vector<TrimCase> cases = {
        {"a😀b", "a?b"},
        {"한", "?"},
        {"\xFF"
         "a",
         "?a"},
        {"\xE4\xB8", "?"}, // cut off at the end
        {"\xE4\xB8"
         "A",
         "?A"}, // cut off before another character
        {"\xE4\xB8"
         "一",
         "?\xD2\xBB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text::utf8ToCp936(c.in), c.out) << "input: " << c.in;
}

} // namespace
