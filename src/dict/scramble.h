// The password scrambling of the dictionary's text form: a 32-byte key from
// the password's MD5 digest (as upper-case hex digits), a byte operation
// keyed by it that cycles every 32 bytes, and hex text both ways. Pure
// functions; texts and passwords are GBK bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rankora::dict {

using Bytes = std::vector<std::uint8_t>;

// The MD5 digest of the password's bytes as 32 upper-case hex digits.
std::string DeriveKey(std::string_view password);

// Each byte plus the key byte at its place, modulo 255 but for 255 itself.
// So 0 and 255 scramble alike, and unscramble to 0.
Bytes ScrambleBytes(const Bytes& data, std::string_view password);
Bytes UnscrambleBytes(const Bytes& data, std::string_view password);

// Lower-case, two digits a byte.
std::string BytesToHex(const Bytes& bytes);
// Pairs of digits; only 0-9 and a-f count, anything else reads as 0, and a
// lone last digit is dropped.
Bytes HexToBytes(std::string_view hex);

std::string ScrambleText(std::string_view text, std::string_view password);
// The text up to the first zero byte of what unscrambles.
std::string UnscrambleText(std::string_view hex, std::string_view password);

}  // namespace rankora::dict
