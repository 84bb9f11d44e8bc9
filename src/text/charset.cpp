#include "text/charset.h"

#include <algorithm>

#include "text/ascii.h"
#include "text/code_pages.h"
#include "text/gbk.h"
#include "text/utf8.h"

namespace rankora::text {

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
      AppendUtf16(out, point);
      i += length;
    }
  }
  return out;
}

std::string EncodeUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n; ++i) {
    char32_t point = text[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < n && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    if (point < 0x80) {
      out += static_cast<char>(point);
    } else if (point < 0x800) {
      out += static_cast<char>(0xC0 | (point >> 6));
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      out += static_cast<char>(0xE0 | (point >> 12));
      out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (point >> 18));
      out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return out;
}

bool LooksLikeUtf8(std::string_view bytes) {
  const bool ascii =
      std::none_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return !ascii && IsUtf8(bytes);
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
  // A name as it comes in a header or a meta tag, not a GBK text.
  const std::string name = AsciiLowerCopy(charset, ByteText::Raw);
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
  return DecodeNamedCharset(bytes, name, out);
}

}  // namespace rankora::text
