// Reading UTF-8 one character at a time, internal to the text library: the
// one validity rule for every UTF-8 reading it does.
#pragma once

#include <cstddef>
#include <string>

namespace rankora::text {

// The length of the well-formed UTF-8 character at `i` of the `n` bytes at
// `p` (shortest form, no surrogate, nothing past U+10FFFF) with its code
// point, or 0 when the bytes there are no character.
inline std::size_t Utf8Character(const unsigned char* p, std::size_t n, std::size_t i, char32_t& point) {
  const unsigned char lead = p[i];
  if (lead < 0x80) {
    point = lead;
    return 1;
  }
  std::size_t length = 0;
  char32_t least = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, point = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, point = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, point = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (i + length > n) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((p[i + k] & 0xC0) != 0x80) return 0;
    point = (point << 6) | (p[i + k] & 0x3F);
  }
  const bool valid = point >= least && point <= 0x10FFFF && !(point >= 0xD800 && point <= 0xDFFF);
  return valid ? length : 0;
}

// Appends a code point to UTF-16 text, as a surrogate pair above U+FFFF.
inline void AppendUtf16(std::u16string& out, char32_t point) {
  if (point < 0x10000) {
    out += static_cast<char16_t>(point);
  } else {
    out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  }
}

}  // namespace rankora::text
