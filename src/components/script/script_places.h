// Where a script error stands and how the control reports it: the sources
// and numbers of the errors the heap makes itself, and the column and line
// text of an error from the code it was raised in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "automation/hresult.h"
#include "components/script/script_errors.h"
#include "components/script/script_heap.h"

namespace rankora::components::script {

inline constexpr automation::HRESULT kOutOfMemory = JScriptCode(jscript::kOutOfMemory);
inline constexpr char16_t kCompileSource[] = u"Microsoft JScript compilation error";
inline constexpr char16_t kRuntimeSource[] = u"Microsoft JScript runtime error";
// A script stopped at its deadline: the platform's time-out error,
// HRESULT_FROM_WIN32(ERROR_TIMEOUT), as the control raises it.
inline constexpr automation::HRESULT kTimedOut = automation::MakeCode(0x800705B4);

ScriptError TimedOutError();
ScriptError OutOfMemoryError();

// The chunk of code a file name of ours names (0 for none).
int ChunkNumber(const char* name);

// The place of a compile error in `code`, from the byte offset Duktape gave
// (its lexer reads the CESU-8 form: one to three bytes a unit).
struct CompilePlace {
  int column = 0;
  std::u16string text;
  SyntaxSite site;
};

CompilePlace PlaceOfOffset(std::u16string_view code, std::size_t offset);

// The column of a run-time error: Duktape knows only the line, so the start
// of the first statement on it.
int ColumnOfLine(std::u16string_view code, int line);

}  // namespace rankora::components::script
