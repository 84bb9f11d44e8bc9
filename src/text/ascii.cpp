#include "text/ascii.h"

#include "text/gbk.h"

namespace rankora::text {

std::string AsciiLowerCopy(std::string_view text, ByteText form) {
  std::string lower(text);
  for (std::size_t pos = 0; pos < lower.size();) {
    const std::size_t length = form == ByteText::Gbk ? CharLength(lower, pos) : 1;
    if (length == 1) lower[pos] = AsciiLower(lower[pos]);
    pos += length;
  }
  return lower;
}

std::u16string AsciiLowerCopy(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) c = AsciiLower(c);
  return lower;
}

bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b, ByteText form) {
  if (a.size() != b.size()) return false;
  for (std::size_t pos = 0; pos < a.size();) {
    // A double-byte character of `a` matches only the same two bytes, which
    // `b` then reads as the same double-byte character.
    const std::size_t length = form == ByteText::Gbk ? CharLength(a, pos) : 1;
    if (length == 2) {
      if (a[pos] != b[pos] || a[pos + 1] != b[pos + 1]) return false;
    } else if (AsciiLower(a[pos]) != AsciiLower(b[pos])) {
      return false;
    }
    pos += length;
  }
  return true;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace rankora::text
