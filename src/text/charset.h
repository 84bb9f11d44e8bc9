// Decoding bytes in a named character set to UTF-16, as the HTTP request
// does for a response body, and UTF-16 to UTF-8 for what goes out as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace rankora::text {

// Decodes UTF-8; a byte sequence that is no character becomes U+FFFD.
std::u16string DecodeUtf8(std::string_view bytes);

// Encodes UTF-16 as UTF-8: a surrogate pair as the one character it stands
// for, a surrogate without its partner as U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// True when `bytes` are well-formed UTF-8 throughout: DecodeUtf8 would give
// no U+FFFD of its own.
bool IsUtf8(std::string_view bytes);

// True when `bytes` hold more than ASCII and all of it is well-formed UTF-8:
// how a file's character set (UTF-8 or GBK) is told from its bytes. GBK text
// is almost never well-formed UTF-8; plain ASCII is either.
bool LooksLikeUtf8(std::string_view bytes);

// Decodes `bytes` in `charset` (a name as HTTP and HTML give it, any case:
// utf-8, gbk, gb2312, gb18030, iso-8859-1 read alike everywhere; any other
// name as the platform reads it). False, with `out` untouched, for a
// character set this machine does not know.
bool DecodeCharset(std::string_view bytes, std::string_view charset, std::u16string& out);

}  // namespace rankora::text
