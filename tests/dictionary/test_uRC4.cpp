// The field cipher.
#include "uRC4.h"

#include <gtest/gtest.h>

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

struct Vector {
    std::string key;
    std::string plain;
    std::string cipherHex;
};

// Published RC4 test vectors; the RFC 6229 keys hold bytes of 128 and above,
// which must enter the key schedule unsigned.
const std::vector<Vector> kVectors = {
    {"Key", "Plaintext", "BBF316E8D940AF0AD3"},
    {"Wiki", "pedia", "1021BF0420"},
    {"Secret", "Attack at dawn", "45A01F645FC35B383552544B9BF5"},
    {"\x01\x02\x03\x04\x05", std::string(16, '\0'), "B2396305F03DC027CCC3524A0A1118A8"},
    {"\x83\x32\x22\x77\x2a", std::string(16, '\0'), "80AD97BDC973DF8A2E879E92A497EFDA"},
};

TEST(RC4, PublishedVectorsInUpperCaseHex) {
    for (const auto& v : kVectors) {
        EXPECT_EQ(RC4EncryptToHex(v.plain, v.key), v.cipherHex) << v.plain;
        EXPECT_EQ(RC4DecryptFromHex(v.cipherHex, v.key), v.plain) << v.cipherHex;
    }
}

TEST(RC4, DecipheringAcceptsLowerCaseDigits) {
    for (const auto& v : kVectors) {
        std::string lower = v.cipherHex;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(RC4DecryptFromHex(lower, v.key), v.plain) << lower;
    }
}

TEST(RC4, EveryCallStartsAfreshFromTheKey) {
    // The stored field key over CP936 bytes of 常用, as the database holds it.
    EXPECT_EQ(RC4EncryptToHex("\xB3\xA3\xD3\xC3", kFieldKey), "1EFB64EE");
    EXPECT_EQ(RC4EncryptToHex("\xB3\xA3\xD3\xC3", kFieldKey), "1EFB64EE");
    const std::string bytes = "\x00\xff\x80 mixed\r\n\xD2\xBB"s;
    EXPECT_EQ(RC4DecryptFromHex(RC4EncryptToHex(bytes, kFieldKey), kFieldKey), bytes);
}

TEST(RC4, EmptyInputGivesEmptyOutput) {
    EXPECT_EQ(RC4EncryptToHex("", kFieldKey), "");
    EXPECT_EQ(RC4DecryptFromHex("", kFieldKey), "");
}

TEST(RC4, FinalUnpairedDigitIsIgnored) {
    EXPECT_EQ(RC4DecryptFromHex("4A3", kFieldKey), RC4DecryptFromHex("4A", kFieldKey));
    EXPECT_EQ(RC4DecryptFromHex("BBF316E8D940AF0AD37", "Key"), "Plaintext");
    EXPECT_EQ(RC4DecryptFromHex("7", "Key"), "");
    // Not even looked at.
    EXPECT_EQ(RC4DecryptFromHex("4AG", kFieldKey), RC4DecryptFromHex("4A", kFieldKey));
}

struct BadHex {
    std::string hex;
    std::string message;
};

TEST(RC4, NonHexPairRaisesTheConversionError) {
    const std::vector<BadHex> cases = {
        {"4G", "'$4G' is not a valid integer value"},
        {"4 ", "'$4 ' is not a valid integer value"},
        {" 4", "'$ 4' is not a valid integer value"},
        {"BB4G21", "'$4G' is not a valid integer value"}, // the first bad pair is named
        {"-1", "'$-1' is not a valid integer value"},
        {"0x", "'$0x' is not a valid integer value"},
    };
    for (const auto& c : cases) {
        try {
            RC4DecryptFromHex(c.hex, kFieldKey);
            ADD_FAILURE() << "no error for " << c.hex;
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

} // namespace
