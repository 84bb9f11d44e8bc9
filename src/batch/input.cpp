#include "batch/input.h"

#include <algorithm>
#include <cstdint>
#include <functional>

#include "text/ascii.h"
#include "text/charset.h"
#include "text/gbk.h"

namespace rankora::batch {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LittleEndianMark = "\xFF\xFE";
constexpr std::string_view kUtf16BigEndianMark = "\xFE\xFF";
constexpr std::string_view kFullWidthSpace = "\xA1\xA1";  // U+3000 in GBK
constexpr std::string_view kBar = " | ";
constexpr std::size_t kLongestLabel = 63;
constexpr std::size_t kLongestDomain = 253;

bool IsAscii(std::string_view bytes) {
  return std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The length of the blank (space, tab, full-width space) at `pos`, or 0.
std::size_t BlankAt(std::string_view text, std::size_t pos) {
  if (text[pos] == ' ' || text[pos] == '\t') return 1;
  return text.compare(pos, kFullWidthSpace.size(), kFullWidthSpace) == 0 ? kFullWidthSpace.size() : 0;
}

// `text` without the blanks at either end. The walk goes character by
// character so that the second byte of a double-byte character and the byte
// after it are never taken for a full-width space.
std::string_view TrimBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool leading = true;
  for (std::size_t pos = 0; pos < text.size();) {
    if (const std::size_t blank = BlankAt(text, pos); blank != 0) {
      pos += blank;
      if (leading) begin = pos;
      continue;
    }
    leading = false;
    pos += text::CharLength(text, pos);
    end = pos;
  }
  return end > begin ? text.substr(begin, end - begin) : std::string_view();
}

// The byte position of the first one-byte character of `text` found in
// `bytes`, or npos. GBK second bytes include '@' and '\\': a byte search
// would find them inside Chinese characters.
std::size_t FindFirstOf(std::string_view text, std::string_view bytes) {
  for (std::size_t pos = 0; pos < text.size(); pos += text::CharLength(text, pos)) {
    if (text::CharLength(text, pos) == 1 && bytes.find(text[pos]) != std::string_view::npos) return pos;
  }
  return std::string_view::npos;
}

std::size_t FindLast(std::string_view text, char byte) {
  std::size_t found = std::string_view::npos;
  for (std::size_t pos = 0; pos < text.size(); pos += text::CharLength(text, pos)) {
    if (text::CharLength(text, pos) == 1 && text[pos] == byte) found = pos;
  }
  return found;
}

bool IsSchemeCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

std::string_view WithoutScheme(std::string_view text) {
  if (const std::size_t colon = text.find("://"); colon != std::string_view::npos && colon > 0) {
    const std::string_view scheme = text.substr(0, colon);
    if (std::all_of(scheme.begin(), scheme.end(), IsSchemeCharacter)) return text.substr(colon + 3);
  }
  if (text.starts_with("//")) return text.substr(2);
  return text;
}

std::string_view WithoutPort(std::string_view host) {
  const std::size_t colon = FindLast(host, ':');
  if (colon == std::string_view::npos) return host;
  const std::string_view port = host.substr(colon + 1);
  const bool digits = std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; });
  return digits ? host.substr(0, colon) : host;
}

bool IsLabelCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

// A double-byte character that may stand in a Chinese domain: a whole GBK
// pair outside the rows of punctuation and symbols (0xA1 to 0xA9), which hold
// the full-width space, the ideographic full stop and the full-width forms.
bool IsNameCharacter(std::string_view text, std::size_t pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  const auto trail = static_cast<unsigned char>(text[pos + 1]);
  const bool pair = trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
  return pair && !(lead >= 0xA1 && lead <= 0xA9);
}

// The distinct domains of a run, as positions in the list that holds them:
// an open-addressing table of indices, a few bytes a domain, so that a
// million lines need no node or copy per domain.
class DomainSet {
 public:
  explicit DomainSet(const std::vector<std::string>& domains) : domains_(domains), slots_(1024, 0) {}

  // True when `domain` was not in the set yet; it is then the list's entry
  // at `index`.
  bool Insert(std::string_view domain, std::size_t index) {
    if ((count_ + 1) * 2 > slots_.size()) Grow();
    const std::size_t slot = Find(domain);
    if (slots_[slot] != 0) return false;
    slots_[slot] = static_cast<std::uint32_t>(index + 1);
    ++count_;
    return true;
  }

 private:
  std::size_t Find(std::string_view domain) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = std::hash<std::string_view>()(domain) & mask;; slot = (slot + 1) & mask) {
      if (slots_[slot] == 0 || domains_[slots_[slot] - 1] == domain) return slot;
    }
  }

  void Grow() {
    std::vector<std::uint32_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const std::uint32_t entry : old) {
      if (entry == 0) continue;
      std::size_t slot = std::hash<std::string_view>()(domains_[entry - 1]) & mask;
      while (slots_[slot] != 0) slot = (slot + 1) & mask;
      slots_[slot] = entry;
    }
  }

  const std::vector<std::string>& domains_;
  std::vector<std::uint32_t> slots_;  // index + 1 into domains_; 0 is free
  std::size_t count_ = 0;
};

// UTF-16 text after its byte-order mark, as GBK: a character GBK cannot hold
// becomes "?", as anywhere else in the program. An odd last byte is dropped.
std::string Utf16ToGbk(std::string_view bytes, bool bigEndian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto first = static_cast<unsigned char>(bytes[2 * i]);
    const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  }
  return text::FromUtf16(units);
}

Input ReadLines(std::string_view bytes, const InputOptions& options, bool utf8);

}  // namespace

Input ReadInput(std::string_view bytes, const InputOptions& options) {
  // Notepad's "Unicode" and "Unicode big endian": read as the GBK they hold.
  if (bytes.starts_with(kUtf16LittleEndianMark) || bytes.starts_with(kUtf16BigEndianMark)) {
    const std::string gbk = Utf16ToGbk(bytes.substr(2), bytes.starts_with(kUtf16BigEndianMark));
    Input input = ReadLines(gbk, options, false);
    input.wasUtf16 = true;
    return input;
  }
  const bool byteOrderMark = bytes.starts_with(kByteOrderMark);
  if (byteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
  return ReadLines(bytes, options, byteOrderMark || text::LooksLikeUtf8(bytes));
}

namespace {

Input ReadLines(std::string_view bytes, const InputOptions& options, bool utf8) {
  Input input;
  input.wasUtf8 = utf8;
  // One entry a line at most: reserving that once keeps the list from
  // doubling (and briefly holding two copies) on a long input.
  const auto lineEnds =
      std::max(std::count(bytes.begin(), bytes.end(), '\n'), std::count(bytes.begin(), bytes.end(), '\r'));
  input.domains.reserve(static_cast<std::size_t>(lineEnds) + 1);
  DomainSet seen(input.domains);
  std::string converted;
  long number = 0;
  // CR LF, LF and CR alone each end a line (old Mac editors and some web
  // forms write CR alone). Neither byte appears inside a UTF-8 or GBK
  // character, so lines split on the bytes.
  while (!bytes.empty()) {
    const std::size_t lineEnd = bytes.find_first_of("\r\n");
    std::string_view line = bytes.substr(0, lineEnd);
    std::size_t taken = lineEnd == std::string_view::npos ? bytes.size() : lineEnd + 1;
    if (lineEnd != std::string_view::npos && bytes[lineEnd] == '\r' && taken < bytes.size() && bytes[taken] == '\n') {
      ++taken;
    }
    bytes.remove_prefix(taken);
    ++number;

    std::string_view gbk = line;
    if (input.wasUtf8 && !IsAscii(line)) {
      converted = text::Gbk(line);
      gbk = converted;
    }
    const int bar = text::Find(gbk, kBar);
    const std::string_view part = bar > 0 ? gbk.substr(0, static_cast<std::size_t>(bar) - 1) : gbk;
    // A line of blanks only is as empty as an empty one.
    if (bar <= 0 && TrimBlanks(part).empty()) continue;

    std::string domain = options.clean ? CleanDomain(part) : std::string(part);
    if (!IsDomain(domain)) {
      input.problems.push_back({number, input.wasUtf8 ? std::string(line) : text::ToUtf8(line)});
      continue;
    }
    if (options.unique && !seen.Insert(domain, input.domains.size())) continue;
    input.domains.push_back(std::move(domain));
  }
  return input;
}

}  // namespace

std::string CleanDomain(std::string_view domain) {
  std::string_view host = WithoutScheme(TrimBlanks(domain));
  host = host.substr(0, FindFirstOf(host, "/?#\\"));
  if (const std::size_t at = FindLast(host, '@'); at != std::string_view::npos) host.remove_prefix(at + 1);
  host = TrimBlanks(WithoutPort(host));
  if (host.ends_with('.')) host.remove_suffix(1);

  return text::AsciiLowerCopy(host);
}

bool IsDomain(std::string_view domain) {
  if (domain.empty() || domain.size() > kLongestDomain) return false;
  std::size_t labels = 1;
  std::size_t label = 0;
  for (std::size_t pos = 0; pos < domain.size();) {
    const std::size_t length = text::CharLength(domain, pos);
    if (length == 2) {
      if (!IsNameCharacter(domain, pos)) return false;
    } else if (domain[pos] == '.') {
      if (label == 0) return false;
      ++labels;
      label = 0;
      ++pos;
      continue;
    } else if (!IsLabelCharacter(domain[pos])) {
      return false;
    }
    label += length;
    if (label > kLongestLabel) return false;
    pos += length;
  }
  return label != 0 && labels >= 2;
}

}  // namespace rankora::batch
