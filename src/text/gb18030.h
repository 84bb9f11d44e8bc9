// GB18030's four-byte characters, internal to the text library: the part of
// GB18030 that GBK's tables do not cover.
#pragma once

namespace rankora::text {

// The code point of the four bytes at `bytes` (0x81-0xFE, a digit,
// 0x81-0xFE, a digit) as GB18030 maps them, or 0 when they are no character.
char32_t Gb18030FourByteCharacter(const unsigned char* bytes);

}  // namespace rankora::text
