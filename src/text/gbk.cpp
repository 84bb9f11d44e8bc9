#include "text/gbk.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <functional>

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

// One iconv descriptor, owned.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open reports failure as (iconv_t)-1.
  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }  // NOLINT(performance-no-int-to-ptr)
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// How many input bytes an undecodable or unconvertible character at `in`
// covers, given `left` bytes remaining.
using SkipRule = std::function<std::size_t(const unsigned char* in, std::size_t left)>;

// Converts all of `input`, writing `replacement` for every character that
// cannot be converted and going on behind it.
std::string Convert(const Converter& converter, std::string_view input, std::string_view replacement,
                    const SkipRule& skip) {
  std::string output;
  if (!converter.valid() || input.empty()) return output;
  iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);

  auto* in = const_cast<char*>(input.data());
  std::size_t inLeft = input.size();
  std::string buffer(4 * input.size() + 16, '\0');
  while (inLeft > 0) {
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    const std::size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    output.append(buffer.data(), buffer.size() - outLeft);
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // EILSEQ (no such character, or none in the target) or EINVAL (cut off at
    // the end): one replacement, then on behind the bad character.
    const std::size_t bad = std::min(inLeft, skip(reinterpret_cast<const unsigned char*>(in), inLeft));
    output.append(replacement);
    in += bad;
    inLeft -= bad;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return output;
}

constexpr const char* kGbk = "CP936";
constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

std::size_t SkipGbk(const unsigned char* in, std::size_t left) {
  const bool pair = IsLeadByte(in[0]) && left >= 2 && in[1] >= 0x40 && in[1] <= 0xFE && in[1] != 0x7F;
  return pair ? 2 : 1;
}

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

// GBK decoding and encoding through tables that iconv fills once: the
// mapping stays iconv's, but a page of tens of kilobytes converts with one
// lookup a character instead of a pass through iconv's machinery.
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
    const Converter decoder(kUtf16, kGbk);
    const Converter encoder(kGbk, kUtf16);
    for (int byte = 0; byte < 0x80; ++byte) single_[byte] = static_cast<char16_t>(byte);
    single_[0x80] = DecodeOne(decoder, "\x80");
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
      for (int trail = 0x40; trail <= 0xFE; ++trail) {
        const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail), '\0'};
        pairs_[(lead - 0x81) * kTrails + (trail - 0x40)] = DecodeOne(decoder, bytes);
      }
    }
    for (int unit = 0; unit < 0x10000; ++unit) {
      if (unit >= 0xD800 && unit <= 0xDFFF) continue;
      codes_[unit] = unit < 0x80 ? static_cast<std::uint16_t>(unit) : EncodeOne(encoder, static_cast<char16_t>(unit));
    }
  }

  static char16_t DecodeOne(const Converter& converter, const char* bytes) {
    char* in = const_cast<char*>(bytes);
    std::size_t inLeft = std::strlen(bytes);
    char16_t unit[2] = {0, 0};
    char* out = reinterpret_cast<char*>(unit);
    std::size_t outLeft = sizeof unit;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    return result == static_cast<std::size_t>(-1) || inLeft != 0 || outLeft != sizeof unit - 2 ? 0 : unit[0];
  }

  static std::uint16_t EncodeOne(const Converter& converter, char16_t unit) {
    char* in = reinterpret_cast<char*>(&unit);
    std::size_t inLeft = sizeof unit;
    unsigned char bytes[4] = {};
    char* out = reinterpret_cast<char*>(bytes);
    std::size_t outLeft = sizeof bytes;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
    const std::size_t result = iconv(converter.get(), &in, &inLeft, &out, &outLeft);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0) return 0;
    const std::size_t written = sizeof bytes - outLeft;
    if (written == 1) return bytes[0];
    if (written == 2) return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
    return 0;
  }

  char16_t single_[256] = {};
  std::vector<char16_t> pairs_;
  std::vector<std::uint16_t> codes_;
};

// GBK bytes to UTF-16 through the tables; a byte that starts no character
// becomes `bad`. With `fourByte`, GB18030's four-byte characters are read
// too (they are rare: iconv reads each one).
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
    if (fourByte && IsLeadByte(byte) && i + 3 < size && bytes[i + 1] >= 0x30 && bytes[i + 1] <= 0x39) {
      thread_local const Converter converter(kUtf16, "GB18030");
      const std::string decoded = Convert(converter, gb.substr(i, 4), std::string(), SkipGbk);
      if (decoded.size() == 2 || decoded.size() == 4) {
        // One character: one unit, or a surrogate pair (and the four bytes
        // never held more characters than their four places).
        const std::size_t at = static_cast<std::size_t>(out - result.data());
        if (decoded.size() == 4 && result.size() < at + 2) result.resize(at + 2);
        out = result.data() + at;
        for (std::size_t k = 0; k + 1 < decoded.size(); k += 2) {
          const auto first = static_cast<unsigned char>(decoded[k]);
          const auto second = static_cast<unsigned char>(decoded[k + 1]);
          *out++ = std::endian::native == std::endian::little ? static_cast<char16_t>(first | second << 8)
                                                              : static_cast<char16_t>(first << 8 | second);
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
  thread_local const Converter converter(kGbk, "UTF-8");
  return Convert(converter, utf8, "?", SkipUtf8);
}

std::string ToUtf8(std::string_view gbk) {
  if (IsAscii(gbk)) return std::string(gbk);
  thread_local const Converter converter("UTF-8", kGbk);
  return Convert(converter, gbk, "?", SkipGbk);
}

}  // namespace rankora::text
