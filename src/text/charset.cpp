#include "text/charset.h"

#include "text/code_pages.h"
#include "text/gbk.h"
#include "text/utf8.h"

namespace rankora::text {
namespace {

std::string Lower(std::string_view name) {
  std::string lower;
  for (const char c : name) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return lower;
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
      AppendUtf16(out, point);
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
  return DecodeNamedCharset(bytes, name, out);
}

}  // namespace rankora::text
