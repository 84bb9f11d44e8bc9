#include "text/gbk.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>

namespace rankora::text {
namespace {

bool IsLeadByte(unsigned char byte) { return byte >= 0x80; }

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
  const bool pair = in[0] >= 0x81 && in[0] <= 0xFE && left >= 2 && in[1] >= 0x40 && in[1] <= 0xFE && in[1] != 0x7F;
  return pair ? 2 : 1;
}

std::size_t SkipUtf16(const unsigned char* in, std::size_t left) {
  char16_t first = 0;
  std::memcpy(&first, in, sizeof first);
  if (first >= 0xD800 && first <= 0xDBFF && left >= 4) {
    char16_t second = 0;
    std::memcpy(&second, in + 2, sizeof second);
    if (second >= 0xDC00 && second <= 0xDFFF) return 4;
  }
  return 2;
}

std::size_t SkipUtf8(const unsigned char* in, std::size_t left) {
  const std::size_t length = in[0] >= 0xF0 ? 4 : in[0] >= 0xE0 ? 3 : in[0] >= 0xC0 ? 2 : 1;
  if (length > left) return 1;
  for (std::size_t i = 1; i < length; ++i) {
    if ((in[i] & 0xC0) != 0x80) return 1;
  }
  return length;
}

const std::string kQuestionUtf16 = [] {
  const char16_t mark = u'?';
  return std::string(reinterpret_cast<const char*>(&mark), sizeof mark);
}();

// ASCII is the same in every encoding here; most texts (domains, member
// names, numbers) are nothing else, and need no converter.
bool IsAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

bool IsAscii(std::u16string_view units) {
  for (const char16_t u : units) {
    if (u >= 0x80) return false;
  }
  return true;
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
  thread_local const Converter converter(kUtf16, kGbk);
  const std::string bytes = Convert(converter, gbk, kQuestionUtf16, SkipGbk);
  std::u16string result(bytes.size() / 2, u'\0');
  std::memcpy(result.data(), bytes.data(), result.size() * 2);
  return result;
}

std::string FromUtf16(std::u16string_view utf16) {
  if (IsAscii(utf16)) {
    std::string ascii(utf16.size(), '\0');
    for (std::size_t i = 0; i < utf16.size(); ++i) ascii[i] = static_cast<char>(utf16[i]);
    return ascii;
  }
  thread_local const Converter converter(kGbk, kUtf16);
  return Convert(converter, {reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2}, "?", SkipUtf16);
}

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
