// ASCII letter case: the one rule behind every comparison that ignores case
// (member names and ProgIDs, domains, tag and attribute names, character set
// names, script language names). Only A-Z and a-z change; every other byte
// or UTF-16 unit stays as it is.
//
// Byte strings are read as GBK text unless told otherwise: the second byte of
// a double-byte character (0x40 to 0xFE) may look like an ASCII letter, and
// changing it would turn one hanzi into another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rankora::text {

// How a byte string is walked when its case is folded.
enum class ByteText : std::uint8_t {
  Gbk,  // the program's texts: a double-byte character (as CharLength has it) is left whole
  Raw,  // bytes of an unknown or single-byte encoding (protocol fields): each byte on its own
};

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

// `text` with its ASCII capitals in lower case, the same length.
std::string AsciiLowerCopy(std::string_view text, ByteText form = ByteText::Gbk);
std::u16string AsciiLowerCopy(std::u16string_view text);

// True when `a` and `b` are equal once their ASCII capitals are in lower
// case, as AsciiLowerCopy(a) == AsciiLowerCopy(b).
bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b, ByteText form = ByteText::Gbk);
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);

}  // namespace rankora::text
