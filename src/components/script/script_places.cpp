#include "components/script/script_places.h"

namespace rankora::components::script {

namespace {

// Lines end at LF, CR, CR LF, U+2028 and U+2029, as Duktape counts them.
bool EndsLine(char16_t unit) { return unit == u'\n' || unit == u'\r' || unit == u'\u2028' || unit == u'\u2029'; }

// Where line `line` (from 1) of `code` starts, or npos.
std::size_t LineStart(std::u16string_view code, int line) {
  std::size_t at = 0;
  for (int l = 1; l < line; ++l) {
    while (at < code.size() && !EndsLine(code[at])) ++at;
    if (at == code.size()) return std::u16string_view::npos;
    at += code[at] == u'\r' && at + 1 < code.size() && code[at + 1] == u'\n' ? 2 : 1;
  }
  return at;
}

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t' || unit == u'\v' || unit == u'\f' || unit == u'\u00A0' || unit == u'\uFEFF';
}

bool IsWordUnit(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9') ||
         unit == u'_' || unit == u'$';
}

}  // namespace

ScriptError TimedOutError() {
  return ScriptError{
      kTimedOut, u"ScriptControl", u"This operation returned because the timeout period expired.", u"", 0, 0};
}

ScriptError OutOfMemoryError() {
  return ScriptError{kOutOfMemory, kRuntimeSource, std::u16string(JScriptWording(jscript::kOutOfMemory)), u"", 0, 0};
}

int ChunkNumber(const char* name) {
  int chunk = 0;
  for (; name != nullptr && *name >= '0' && *name <= '9' && chunk < 100000000; ++name)
    chunk = chunk * 10 + (*name - '0');
  return chunk;
}

CompilePlace PlaceOfOffset(std::u16string_view code, std::size_t offset) {
  std::size_t at = 0;
  for (std::size_t bytes = 0; at < code.size(); ++at) {
    const char16_t unit = code[at];
    const std::size_t length = unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
    if (bytes + length > offset) break;
    bytes += length;
  }
  std::size_t start = at;
  while (start > 0 && !EndsLine(code[start - 1])) --start;
  std::size_t end = at;
  while (end < code.size() && !EndsLine(code[end])) ++end;
  CompilePlace place;
  place.column = static_cast<int>(at - start);
  place.text = std::u16string(code.substr(start, end - start));
  std::size_t wordEnd = at;
  while (wordEnd < code.size() && IsWordUnit(code[wordEnd])) ++wordEnd;
  place.site.word = code.substr(at, wordEnd - at);
  std::size_t before = at;
  while (before > 0 && (IsBlank(code[before - 1]) || EndsLine(code[before - 1]))) {
    place.site.lineBreakBefore = place.site.lineBreakBefore || EndsLine(code[before - 1]);
    --before;
  }
  std::size_t wordStart = before;
  while (wordStart > 0 && IsWordUnit(code[wordStart - 1])) --wordStart;
  place.site.previousWord = code.substr(wordStart, before - wordStart);
  return place;
}

int ColumnOfLine(std::u16string_view code, int line) {
  const std::size_t start = LineStart(code, line);
  if (start == std::u16string_view::npos) return 0;
  std::size_t at = start;
  while (at < code.size() && IsBlank(code[at])) ++at;
  return static_cast<int>(at - start);
}

}  // namespace rankora::components::script
