#include "text/charset.h"

#include "text/gbk.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <cstring>

namespace rankora::text {
namespace {

std::string Lower(std::string_view name) {
  std::string lower;
  for (const char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
}

void Append(std::u16string& out, char32_t point) {
  if (point < 0x10000) {
    out += static_cast<char16_t>(point);
  } else {
    out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
  }
}

bool DecodeWithIconv(std::string_view bytes, const std::string& charset, std::u16string& out) {
  const char* utf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
  iconv_t cd = iconv_open(utf16, charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;  // NOLINT(performance-no-int-to-ptr): iconv's failure value
  std::u16string result;
  std::u16string buffer(bytes.size() + 16, u'\0');
  auto* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  while (inLeft > 0) {
    auto* out16 = reinterpret_cast<char*>(buffer.data());
    std::size_t outLeft = buffer.size() * sizeof(char16_t);
    const std::size_t done = iconv(cd, &in, &inLeft, &out16, &outLeft);
    result.append(buffer.data(), buffer.size() - outLeft / sizeof(char16_t));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that is no character in this set: one replacement, then on.
    result += u'\uFFFD';
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  out = std::move(result);
  return true;
}

}  // namespace

namespace {

// The length of the well-formed UTF-8 character at `i` (shortest form, no
// surrogate, nothing past U+10FFFF) with its code point, or 0 when the bytes
// there are no character.
std::size_t Utf8Character(const unsigned char* p, std::size_t n, std::size_t i, char32_t& point) {
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

}  // namespace

std::u16string DecodeUtf8(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    char32_t point = 0;
    const std::size_t length = Utf8Character(p, n, i, point);
    if (length == 0) {
      out += u'\uFFFD';
      ++i;
    } else {
      Append(out, point);
      i += length;
    }
  }
  return out;
}

bool IsUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n;) {
    char32_t point = 0;
    const std::size_t length = Utf8Character(p, n, i, point);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

bool DecodeCharset(std::string_view bytes, std::string_view charset, std::u16string& out) {
  const std::string name = Lower(charset);
  if (name == "utf-8" || name == "utf8") {
    out = DecodeUtf8(bytes);
    return true;
  }
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1") {
    out.assign(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i < bytes.size(); ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    return true;
  }
  // The GB family decodes as GB18030, which holds GBK and GB2312 whole.
  if (name == "gbk" || name == "gb2312" || name == "gb18030" || name == "cp936" || name == "x-gbk") {
    out = DecodeGb18030(bytes);
    return true;
  }
  return DecodeWithIconv(bytes, name, out);
}

}  // namespace rankora::text
