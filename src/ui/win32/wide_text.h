// The program's GBK texts at the platform's UTF-16 edge, converted with code
// page 936 whatever the system's language.
#pragma once

#include <string>
#include <string_view>

namespace rankora::ui::win32 {

std::wstring Wide(std::string_view gbk);
std::string Narrow(std::wstring_view utf16);

// UTF-8 texts (the settings' stored forms, a key, a cookie) at the same edge;
// unlike GBK, every character goes through.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view utf16);

// `utf16` with every line break, CR LF, a lone LF or a lone CR, made CR LF:
// an edit box may hold text pasted with any of them.
std::wstring WithCrLf(std::wstring_view utf16);

}  // namespace rankora::ui::win32
