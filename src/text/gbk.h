// GBK texts: the program's own text type and the byte-level primitives the
// rest of the core builds on.
//
// Every text of the core is a std::string of GBK (code page 936) bytes. A lead
// byte (0x81 to 0xFE) starts a double-byte character and takes the byte after
// it along; searching and splitting never start a match on such a second
// byte. 0x80 (the euro sign) and 0xFF are characters of one byte.
// Positions at this interface are 1-based byte positions, lengths are byte
// counts, and "not found" is -1.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace rankora::text {

// True for a byte that starts a double-byte character: 0x81 to 0xFE, as code
// page 936 has them. Every walk over characters goes by this one test.
constexpr bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// The byte length of the character that starts at `pos`: 2 for a lead byte
// followed by a non-zero byte, else 1.
std::size_t CharLength(std::string_view text, std::size_t pos);

// The pieces of `text` between occurrences of `separator`, scanned character by
// character. Empty pieces between two separators are kept, an empty remainder
// after the last separator is dropped, and an empty text gives no pieces. An
// empty separator gives the whole text as its only piece.
std::vector<std::string> Split(std::string_view text, std::string_view separator);

// The 1-based position of the first occurrence of `part` that begins at or
// after `start` (below 1 means the beginning), or -1. A match never begins on
// the second byte of a double-byte character. With `ignoreCase`, ASCII letters
// match regardless of case; double-byte characters always match exactly. An
// empty part gives 1 when the text has a byte at or after `start`, else -1.
int Find(std::string_view text, std::string_view part, int start = 1, bool ignoreCase = false);

// The first `n` bytes; empty for n <= 0, the whole text when n is longer.
std::string Left(std::string_view text, int n);

// `n` bytes from the 1-based `start`, cut at the end of the text; empty when
// start is below 1 or beyond the end, or n is not positive.
std::string Mid(std::string_view text, int start, int n);

// `text` with the first occurrence of `old` (exact bytes, found as by Find)
// replaced by `replacement`; unchanged when `old` is empty or absent.
std::string ReplaceFirst(std::string_view text, std::string_view old, std::string_view replacement);

// True when `text` begins with `prefix`, byte for byte.
bool StartsWith(std::string_view text, std::string_view prefix);

// ASCII a-z turned to A-Z; the second byte of a double-byte character is left
// as it is, even when it looks like a lower-case letter.
std::string UpperAscii(std::string_view text);

// GBK to UTF-16 and back. A character the target cannot hold, and a byte
// sequence that is no character, becomes one "?".
std::u16string ToUtf16(std::string_view gbk);
std::string FromUtf16(std::u16string_view utf16);

// GB18030 (the family GBK and GB2312 belong to) to UTF-16, as pages in those
// character sets are read: bytes that are no character become U+FFFD.
std::u16string DecodeGb18030(std::string_view bytes);

// UTF-8 to GBK and back, for the program's built-in texts (its source is
// UTF-8) and for diagnostics.
std::string Gbk(std::string_view utf8);
std::string ToUtf8(std::string_view gbk);

}  // namespace rankora::text
