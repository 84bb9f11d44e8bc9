#include "text/gbk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/charset.h"
#include "text/code_pages.h"
#include "text/gb18030.h"
#include "text/utf8.h"

namespace rankora::text {
namespace {

unsigned char FoldAscii(unsigned char byte) {
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

// Compares `part` with the text at `pos`. Case folding applies to one-byte
// characters only: the second byte of a double-byte character is compared
// exactly, so two different hanzi never match because their second bytes are
// letters of different case.
bool MatchesAt(std::string_view text, std::size_t pos, std::string_view part, bool ignoreCase) {
  if (!ignoreCase) {
    return text.compare(pos, part.size(), part) == 0;
  }
  bool secondByte = false;
  for (std::size_t i = 0; i < part.size(); ++i) {
    const auto t = static_cast<unsigned char>(text[pos + i]);
    const auto p = static_cast<unsigned char>(part[i]);
    if (secondByte || IsLeadByte(t)) {
      if (t != p) return false;
      secondByte = !secondByte && IsLeadByte(t);
    } else if (FoldAscii(t) != FoldAscii(p)) {
      return false;
    }
  }
  return true;
}

// How many bytes the bad character at `in` covers, `left` bytes remaining:
// a lead byte takes a second byte along when that one could be a second byte.
std::size_t SkipGbk(const unsigned char* in, std::size_t left) {
  const bool pair = IsLeadByte(in[0]) && left >= 2 && in[1] >= 0x40 && in[1] <= 0xFE && in[1] != 0x7F;
  return pair ? 2 : 1;
}

// How many bytes the bad UTF-8 at `in` covers, `left` bytes remaining: as
// many as its first byte announces, when that many continuation bytes follow.
std::size_t SkipUtf8(const unsigned char* in, std::size_t left) {
  const std::size_t length = in[0] >= 0xF0 ? 4 : in[0] >= 0xE0 ? 3 : in[0] >= 0xC0 ? 2 : 1;
  if (length > left) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((in[i] & 0xC0) != 0x80) return 1;
  }
  return length;
}

// ASCII is the same in every encoding here; most texts (domains, member
// names, numbers) are nothing else, and need no converter.
bool IsAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// GBK decoding and encoding through tables that the platform's code page
// 936 fills once: the mapping stays the platform's, but a page of tens of
// kilobytes converts with one lookup a character.
class GbkTables {
 public:
  static const GbkTables& Get() {
    static const GbkTables tables;
    return tables;
  }

  // The character of a single byte (0 for a lead byte or an invalid one).
  char16_t Single(unsigned char byte) const { return single_[byte]; }
  // The character of a lead and a second byte, 0 for none.
  char16_t Pair(unsigned char lead, unsigned char trail) const {
    if (!IsLeadByte(lead) || trail < 0x40 || trail > 0xFE) return 0;
    return pairs_[(lead - 0x81) * kTrails + (trail - 0x40)];
  }
  // The GBK code of a character: one byte below 0x100, two bytes (lead
  // first) above; 0 when GBK has no such character.
  std::uint16_t Code(char16_t unit) const { return codes_[unit]; }

 private:
  static constexpr std::size_t kTrails = 0xFF - 0x40;

  GbkTables() : pairs_(126 * kTrails, 0), codes_(0x10000, 0) {
    for (int byte = 0; byte < 0x80; ++byte) single_[byte] = static_cast<char16_t>(byte);
    single_[0x80] = DecodeCodePage936("\x80");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail)};
        pairs_[(lead - 0x81) * kTrails + (trail - 0x40)] = DecodeCodePage936(std::string_view(bytes, 2));
      }
    }
    for (int unit = 0x80; unit < 0x10000; ++unit) {
      if (unit >= 0xD800 && unit <= 0xDFFF) continue;
      codes_[unit] = Encode(static_cast<char16_t>(unit));
    }
    for (int unit = 0; unit < 0x80; ++unit) codes_[unit] = static_cast<std::uint16_t>(unit);
  }

  // Only a code that reads back as the same character counts: a code page
  // may write a character as a byte it does not read as that character
  // (0xFF for U+F8F5 on Windows), which would not survive a round trip.
  std::uint16_t Encode(char16_t unit) const {
    const std::string bytes = EncodeCodePage936(unit);
    if (bytes.size() == 1) {
      const auto byte = static_cast<unsigned char>(bytes[0]);
      return byte >= 0x80 && single_[byte] == unit ? byte : 0;
    }
    if (bytes.size() == 2) {
      const auto lead = static_cast<unsigned char>(bytes[0]);
      const auto trail = static_cast<unsigned char>(bytes[1]);
      return Pair(lead, trail) == unit ? static_cast<std::uint16_t>(lead << 8 | trail) : 0;
    }
    return 0;
  }

  char16_t single_[256] = {};
  std::vector<char16_t> pairs_;
  std::vector<std::uint16_t> codes_;
};

// GBK bytes to UTF-16 through the tables; a byte that starts no character
// becomes `bad`. With `fourByte`, GB18030's four-byte characters are read
// too.
std::u16string DecodeGb(std::string_view gb, char16_t bad, bool fourByte) {
  const GbkTables& tables = GbkTables::Get();
  // Never more characters than bytes.
  std::u16string result(gb.size(), u'\0');
  char16_t* out = result.data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(gb.data());
  const std::size_t size = gb.size();
  for (std::size_t i = 0; i < size;) {
    // Pages are mostly markup: ASCII goes eight bytes at a time.
    if (size - i >= 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes + i, sizeof word);
      if ((word & 0x8080808080808080ULL) == 0) {
        for (int k = 0; k < 8; ++k) out[k] = static_cast<char16_t>(bytes[i + static_cast<std::size_t>(k)]);
        out += 8;
        i += 8;
        continue;
      }
    }
    const unsigned char byte = bytes[i];
    if (byte < 0x80) {
      *out++ = static_cast<char16_t>(byte);
      ++i;
      continue;
    }
    if (const char16_t pair = i + 1 < size ? tables.Pair(byte, bytes[i + 1]) : 0; pair != 0) {
      *out++ = pair;
      i += 2;
      continue;
    }
    if (fourByte && i + 3 < size) {
      if (const char32_t point = Gb18030FourByteCharacter(bytes + i); point != 0) {
        // Four bytes never give more characters than their four places.
        if (point >= 0x10000) {
          *out++ = static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
          *out++ = static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
          *out++ = static_cast<char16_t>(point);
        }
        i += 4;
        continue;
      }
    }
    const char16_t single = tables.Single(byte);
    *out++ = single != 0 ? single : bad;
    // A lead byte whose pair is no character takes its second byte along, as
    // one bad character.
    i += single == 0 ? SkipGbk(bytes + i, size - i) : 1;
  }
  result.resize(static_cast<std::size_t>(out - result.data()));
  return result;
}

}  // namespace

std::size_t CharLength(std::string_view text, std::size_t pos) {
  const bool pair = pos + 1 < text.size() && IsLeadByte(static_cast<unsigned char>(text[pos])) && text[pos + 1] != '\0';
  return pair ? 2 : 1;
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  std::size_t pieceStart = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text.size() - pos >= separator.size() && text.compare(pos, separator.size(), separator) == 0) {
      pieces.emplace_back(text.substr(pieceStart, pos - pieceStart));
      pos += separator.size();
      pieceStart = pos;
    } else {
      pos += CharLength(text, pos);
    }
  }
  if (pieceStart < text.size()) pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

int Find(std::string_view text, std::string_view part, int start, bool ignoreCase) {
  const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
  if (part.empty()) return from < text.size() ? 1 : -1;
  if (from >= text.size() || part.size() > text.size()) return -1;
  // The walk starts at the beginning even for a later start, so that a start
  // on a second byte cannot make that byte begin a match.
  for (std::size_t pos = 0; pos + part.size() <= text.size(); pos += CharLength(text, pos)) {
    if (pos >= from && MatchesAt(text, pos, part, ignoreCase)) return static_cast<int>(pos + 1);
  }
  return -1;
}

std::string Left(std::string_view text, int n) {
  if (n <= 0) return {};
  return std::string(text.substr(0, static_cast<std::size_t>(n)));
}

std::string Mid(std::string_view text, int start, int n) {
  if (start < 1 || static_cast<std::size_t>(start) > text.size() || n <= 0) return {};
  return std::string(text.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

std::string ReplaceFirst(std::string_view text, std::string_view old, std::string_view replacement) {
  std::string result(text);
  if (old.empty()) return result;
  const int pos = Find(text, old);
  if (pos > 0) result.replace(static_cast<std::size_t>(pos) - 1, old.size(), replacement);
  return result;
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.starts_with(prefix); }

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (std::size_t pos = 0; pos < result.size();) {
    const std::size_t length = CharLength(result, pos);
    if (length == 1) result[pos] = static_cast<char>(FoldAscii(static_cast<unsigned char>(result[pos])));
    pos += length;
  }
  return result;
}

std::u16string ToUtf16(std::string_view gbk) {
  if (IsAscii(gbk)) return {gbk.begin(), gbk.end()};
  return DecodeGb(gbk, u'?', false);
}

std::string FromUtf16(std::u16string_view utf16) {
  const GbkTables& tables = GbkTables::Get();
  // Never more than two bytes a unit.
  std::string result(utf16.size() * 2, '\0');
  char* out = result.data();
  const std::size_t size = utf16.size();
  for (std::size_t i = 0; i < size; ++i) {
    const char16_t unit = utf16[i];
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
      continue;
    }
    const std::uint16_t code = tables.Code(unit);
    if (code == 0) {
      // A surrogate pair is one character GBK cannot hold.
      if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) ++i;
      *out++ = '?';
    } else if (code < 0x100) {
      *out++ = static_cast<char>(code);
    } else {
      *out++ = static_cast<char>(code >> 8);
      *out++ = static_cast<char>(code & 0xFF);
    }
  }
  result.resize(static_cast<std::size_t>(out - result.data()));
  return result;
}

std::u16string DecodeGb18030(std::string_view gb) { return DecodeGb(gb, u'\uFFFD', true); }

std::string Gbk(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  std::u16string utf16;
  utf16.reserve(utf8.size());
  std::string result;
  result.reserve(utf8.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t size = utf8.size();
  for (std::size_t i = 0; i < size;) {
    char32_t point = 0;
    if (const std::size_t length = Utf8Character(bytes, size, i, point); length != 0) {
      AppendUtf16(utf16, point);
      i += length;
      continue;
    }
    // Bytes that are no character: one "?" for what looks like one.
    result += FromUtf16(utf16);
    utf16.clear();
    result += '?';
    i += std::min(size - i, SkipUtf8(bytes + i, size - i));
  }
  return result + FromUtf16(utf16);
}

std::string ToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  return EncodeUtf8(ToUtf16(gbk));
}

}  // namespace rankora::text
