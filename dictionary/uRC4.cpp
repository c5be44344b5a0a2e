#include "uRC4.h"

#include <array>
#include <cstdint>
#include <stdexcept>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// A final unpaired digit is dropped, as the stored columns have always been
// read that way.
std::string hexToBytes(std::string_view hex) {
    std::string bytes;
    bytes.resize(hex.size() / 2);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        const char hi = hex[2 * k];
        const char lo = hex[2 * k + 1];
        const int h = hexDigit(hi);
        const int l = hexDigit(lo);
        if (h < 0 || l < 0)
            throw std::invalid_argument(std::string("'$") + hi + lo +
                                        "' is not a valid integer value");
        bytes[k] = static_cast<char>((h << 4) | l);
    }
    return bytes;
}

} // namespace

std::string RC4EncryptToHex(std::string_view plainText, std::string_view key) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    if (plainText.empty())
        return out;
    if (key.empty())
        throw std::invalid_argument("RC4 key must not be empty");

    std::array<std::uint8_t, 256> s;
    for (int i = 0; i < 256; ++i)
        s[i] = static_cast<std::uint8_t>(i);
    std::uint8_t j = 0;
    for (std::size_t i = 0; i < 256; ++i) {
        j = static_cast<std::uint8_t>(j + s[i] + static_cast<std::uint8_t>(key[i % key.size()]));
        std::swap(s[i], s[j]);
    }

    out.resize(plainText.size() * 2);
    std::uint8_t i = 0;
    j = 0;
    for (std::size_t n = 0; n < plainText.size(); ++n) {
        i = static_cast<std::uint8_t>(i + 1);
        j = static_cast<std::uint8_t>(j + s[i]);
        std::swap(s[i], s[j]);
        const std::uint8_t k = s[static_cast<std::uint8_t>(s[i] + s[j])];
        const std::uint8_t c = static_cast<std::uint8_t>(plainText[n]) ^ k;
        out[2 * n] = kDigits[c >> 4];
        out[2 * n + 1] = kDigits[c & 0x0F];
    }
    return out;
}

std::string RC4DecryptFromHex(std::string_view hexText, std::string_view key) {
    return hexToBytes(RC4EncryptToHex(hexToBytes(hexText), key));
}
