#include "text/code_pages.h"

#include <windows.h>

#include <charconv>
#include <string_view>

namespace rankora::text {
namespace {

// Code page 936 by its number, never the system's ANSI code page, so that
// the program reads its texts alike on a Windows of any language.
constexpr UINT kCodePage936 = 936;

// The code page of a character set name as pages give it, 0 for none.
UINT CodePageOf(const std::string& name) {
  struct Named {
    std::string_view name;
    UINT codePage;
  };
  static constexpr Named kNames[] = {
      {"us-ascii", 20127},   {"ascii", 20127},        {"iso-8859-2", 28592},  {"iso-8859-3", 28593},
      {"iso-8859-4", 28594}, {"iso-8859-5", 28595},   {"iso-8859-6", 28596},  {"iso-8859-7", 28597},
      {"iso-8859-8", 28598}, {"iso-8859-9", 28599},   {"iso-8859-13", 28603}, {"iso-8859-15", 28605},
      {"big5", 950},         {"big5-hkscs", 950},     {"shift_jis", 932},     {"shift-jis", 932},
      {"sjis", 932},         {"x-sjis", 932},         {"windows-31j", 932},   {"euc-jp", 20932},
      {"euc-kr", 949},       {"ks_c_5601-1987", 949}, {"koi8-r", 20866},      {"koi8-u", 21866},
      {"ibm866", 866},       {"tis-620", 874},        {"utf-7", 65000},
  };
  for (const Named& named : kNames) {
    if (named.name == name) return named.codePage;
  }
  // windows-1252, cp1252 and the like name their code page by number.
  for (const std::string_view prefix : {"windows-", "cp", "x-cp"}) {
    if (!name.starts_with(prefix)) continue;
    UINT number = 0;
    const char* end = name.data() + name.size();
    const auto [rest, error] = std::from_chars(name.data() + prefix.size(), end, number);
    if (error == std::errc() && rest == end) return number;
  }
  return 0;
}

}  // namespace

char16_t DecodeCodePage936(std::string_view character) {
  wchar_t units[2] = {0, 0};
  const int count = MultiByteToWideChar(kCodePage936, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), units, 2);
  return count == 1 ? static_cast<char16_t>(units[0]) : 0;
}

std::string EncodeCodePage936(char16_t unit) {
  const auto wide = static_cast<wchar_t>(unit);
  char bytes[4] = {};
  BOOL usedDefault = FALSE;
  // No best fit: a character the code page lacks has no code, rather than
  // the code of one that looks like it.
  const int count =
      WideCharToMultiByte(kCodePage936, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &usedDefault);
  if (count <= 0 || usedDefault) return {};
  return std::string(bytes, static_cast<std::size_t>(count));
}

bool DecodeNamedCharset(std::string_view bytes, const std::string& name, std::u16string& out) {
  const UINT codePage = CodePageOf(name);
  if (codePage == 0 || !IsValidCodePage(codePage)) return false;
  if (bytes.empty()) {
    out.clear();
    return true;
  }
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return false;
  std::wstring decoded(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), size, decoded.data(), length);
  out.assign(decoded.begin(), decoded.end());
  return true;
}

}  // namespace rankora::text
