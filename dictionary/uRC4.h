#pragma once
// The field cipher of the idiom database: RC4 written as hexadecimal text.

#include <string>
#include <string_view>

// The key of every enciphered column.
inline constexpr std::string_view kFieldKey = "QM4857T";

// RC4 over the bytes of `plainText`, each output byte as two upper-case
// hexadecimal digits. `key` must not be empty.
std::string RC4EncryptToHex(std::string_view plainText, std::string_view key);

// The bytes whose hexadecimal form is `hexText`, deciphered. Either digit
// case is accepted; a final unpaired digit is ignored. A pair holding any
// other character throws std::invalid_argument with the message
// "'$XY' is not a valid integer value".
std::string RC4DecryptFromHex(std::string_view hexText, std::string_view key);
