#include "ui/win32/wide_text.h"

#include <windows.h>

#include "text/gbk.h"

namespace rankora::ui::win32 {

// wchar_t is the platform's 16-bit UTF-16 unit, as char16_t is.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring Wide(std::string_view gbk) {
  const std::u16string utf16 = text::ToUtf16(gbk);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(std::wstring_view utf16) { return text::FromUtf16(std::u16string(utf16.begin(), utf16.end())); }

std::wstring WideFromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8FromWide(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = static_cast<int>(utf16.size());
  const int length = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
  if (length > 0) WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

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
