// The white space the platform's conversions skip around numbers and dates:
// space, tab and the line ends, the no-break space and the ideographic space.
#pragma once

namespace rankora::automation {

constexpr bool IsConversionBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == u'\u00A0' || c == u'\u3000';
}

}  // namespace rankora::automation
