// What the text library needs of the platform's character sets, internal to
// the library: code page 936 one character at a time, from which gbk.cpp
// builds its conversion tables once, and the character sets a page may name
// beyond those the library reads itself. posix/ answers through iconv, win32/
// through the platform's code pages.
#pragma once

#include <string>
#include <string_view>

namespace rankora::text {

// The UTF-16 unit of one code page 936 character (one byte, or a lead and a
// second byte), or 0 when the code page has no character there.
char16_t DecodeCodePage936(std::string_view character);

// The code page 936 bytes of one UTF-16 unit (one byte, or a lead and a
// second byte), exactly as the code page holds it: empty when it has no
// such character, never a look-alike.
std::string EncodeCodePage936(char16_t unit);

// Decodes `bytes` in the character set of the lower-case `name` as the
// platform reads it. False, with `out` untouched, for a name the platform
// does not know.
bool DecodeNamedCharset(std::string_view bytes, const std::string& name, std::u16string& out);

}  // namespace rankora::text
