#include "ui/win32/wide_text.h"

#include "text/gbk.h"

namespace rankora::ui::win32 {

// wchar_t is the platform's 16-bit UTF-16 unit, as char16_t is.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Wide(std::string_view gbk) {
  const std::u16string utf16 = text::ToUtf16(gbk);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view utf16) { return text::FromUtf16(std::u16string(utf16.begin(), utf16.end())); }

std::wstring WithCrLf(std::wstring_view utf16) {
  std::wstring result;
  result.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const wchar_t c = utf16[i];
    if (c == L'\r') {
      result += L"\r\n";
      if (i + 1 < utf16.size() && utf16[i + 1] == L'\n') ++i;
    } else if (c == L'\n') {
      result += L"\r\n";
    } else {
      result += c;
    }
  }
  return result;
}

}  // namespace rankora::ui::win32
