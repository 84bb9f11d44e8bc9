#include "components/script/script_heap.h"

#include <duktape.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/dispatch.h"
#include "automation/name.h"
#include "components/script/script_date.h"
#include "components/script/script_errors.h"

namespace rankora::components::script {

using namespace automation;

// Where the heap stands against its limits. Duktape hands it, as the heap's
// user data, to its allocator and to its executor's interrupt check.
struct HeapLimits {
  using Clock = std::chrono::steady_clock;

  std::size_t held = 0;     // bytes of the blocks the heap holds
  std::size_t refused = 0;  // allocations refused in this entry
  std::int32_t timeout = kDefaultTimeout;
  int depth = 0;            // entries into Duktape under way
  bool timed = false;       // a deadline applies to the outermost entry
  bool firstCheck = false;  // no check has come yet in this entry
  bool expired = false;     // the deadline has passed: every check says so until the entry ends
  Clock::time_point deadline;
  // Where the compiler stopped at its last error: the token's byte offset
  // in the code and its line.
  std::size_t compileOffset = 0;
  int compileLine = 0;
  // Where the last value thrown in this entry was thrown: a line of a chunk
  // of code (0 when not known).
  int thrownLine = 0;
  int thrownChunk = 0;
};

}  // namespace rankora::components::script

// Duktape's executor asks every so many instructions (see
// duktape/duk_config_overrides.h), so this only compares a monotonic clock.
// It counts instructions across calls, so the first check of a call may come
// at its very start: a script is only stopped at a check that follows a full
// count of its own instructions, and a short script always gets to finish,
// even with a Timeout of 0.
extern "C" duk_bool_t rankora_script_timed_out(void* udata) {
  using rankora::components::script::HeapLimits;
  auto* limits = static_cast<HeapLimits*>(udata);
  if (limits == nullptr || !limits->timed) return 0;
  if (!limits->expired) {
    if (limits->firstCheck) {
      limits->firstCheck = false;
      return 0;
    }
    if (HeapLimits::Clock::now() < limits->deadline) return 0;
    limits->expired = true;
  }
  return 1;
}

extern "C" void rankora_script_compile_error_at(void* udata, duk_size_t offset, duk_int_t line) {
  auto* limits = static_cast<rankora::components::script::HeapLimits*>(udata);
  if (limits == nullptr) return;
  limits->compileOffset = offset;
  limits->compileLine = static_cast<int>(line);
}

namespace rankora::components::script {

namespace {

// One entry into Duktape. The outermost one starts the clock; entries made
// while it runs (script calling a host that calls script) keep its deadline.
class Entry {
 public:
  explicit Entry(HeapLimits& limits) : limits_(limits) {
    if (limits_.depth++ != 0) return;
    limits_.refused = 0;
    limits_.expired = false;
    limits_.firstCheck = true;
    limits_.thrownLine = limits_.thrownChunk = 0;
    limits_.timed = limits_.timeout != kNoTimeout;
    if (limits_.timed) limits_.deadline = HeapLimits::Clock::now() + std::chrono::milliseconds(limits_.timeout);
  }
  ~Entry() {
    if (--limits_.depth == 0) limits_.timed = limits_.expired = false;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

 private:
  HeapLimits& limits_;
};

// Hidden keys (Duktape's hidden symbols) that script code cannot reach.
#define RANKORA_HIDDEN(name) "\xFF" name
const char* const kHeapKey = RANKORA_HIDDEN("rankoraHeap");
const char* const kHostKey = RANKORA_HIDDEN("rankoraHost");      // on a wrapper: its host
const char* const kMemberHostKey = RANKORA_HIDDEN("rankoraOf");  // on a member function: its host
const char* const kOpKey = RANKORA_HIDDEN("rankoraOp");
const char* const kNameKey = RANKORA_HIDDEN("rankoraName");
const char* const kArrayKey = RANKORA_HIDDEN("rankoraArray");  // on a wrapper: its array (a Variant*)
#undef RANKORA_HIDDEN

constexpr HRESULT kOutOfMemory = JScriptCode(jscript::kOutOfMemory);
constexpr char16_t kCompileSource[] = u"Microsoft JScript compilation error";
constexpr char16_t kRuntimeSource[] = u"Microsoft JScript runtime error";
// A script stopped at its deadline: the platform's time-out error,
// HRESULT_FROM_WIN32(ERROR_TIMEOUT), as the control raises it.
constexpr HRESULT kTimedOut = MakeCode(0x800705B4);

// The most memory a heap may hold: a thousand times what the program's
// scripts need for a page of the weight service. A script that wants more
// fails with an out-of-memory script error instead of taking the machine's
// memory.
constexpr std::size_t kHeapLimit = std::size_t{64} << 20;

// Each block starts with its size, so that the heap's total is known without
// asking the C library; what follows stays aligned as malloc's blocks are.
constexpr std::size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(std::size_t));

bool Take(HeapLimits& limits, std::size_t bytes) {
  if (bytes > kHeapLimit - limits.held) {
    ++limits.refused;
    return false;
  }
  limits.held += bytes;
  return true;
}

std::size_t SizeOf(const unsigned char* block) {
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  return size;
}

// A refused allocation is a null block: Duktape collects garbage, tries
// again and, when that fails too, throws a script error inside the protected
// call under way. Nothing here ends the process.
void* Allocate(void* udata, duk_size_t size) {
  auto& limits = *static_cast<HeapLimits*>(udata);
  if (!Take(limits, size)) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (block == nullptr) {
    limits.held -= size;
    ++limits.refused;
    return nullptr;
  }
  std::memcpy(block, &size, sizeof size);
  return block + kHeader;
}

void Free(void* udata, void* data) {
  if (data == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(data) - kHeader;
  static_cast<HeapLimits*>(udata)->held -= SizeOf(block);
  std::free(block);
}

// As realloc: when it fails, the block stays as it was.
void* Reallocate(void* udata, void* data, duk_size_t size) {
  if (data == nullptr) return Allocate(udata, size);
  if (size == 0) {
    Free(udata, data);
    return nullptr;
  }
  auto& limits = *static_cast<HeapLimits*>(udata);
  unsigned char* block = static_cast<unsigned char*>(data) - kHeader;
  const std::size_t old = SizeOf(block);
  if (size > old && !Take(limits, size - old)) return nullptr;
  auto* moved = static_cast<unsigned char*>(std::realloc(block, kHeader + size));
  if (moved == nullptr) {
    if (size > old) limits.held -= size - old;
    ++limits.refused;
    return nullptr;
  }
  if (size < old) limits.held -= old - size;
  std::memcpy(moved, &size, sizeof size);
  return moved + kHeader;
}

void Fatal(void* /*udata*/, const char* message) {
  // Only reached by an error thrown outside every protected call, which the
  // code here never lets happen: every Duktape call that can throw runs
  // inside one, and running out of memory is such an error.
  std::fprintf(stderr, "script engine: fatal error: %s\n", message != nullptr ? message : "");
  std::abort();
}

// Duktape keeps strings as CESU-8: each UTF-16 code unit on its own, so lone
// surrogates survive the trip.
// Four UTF-16 units at a time: true when none is above 0x7F.
bool FourAscii(const char16_t* units) {
  std::uint64_t word = 0;
  std::memcpy(&word, units, sizeof word);
  return (word & 0xFF80FF80FF80FF80ULL) == 0;
}

std::string ToCesu8(std::u16string_view units) {
  const char16_t* const begin = units.data();
  const char16_t* const end = begin + units.size();
  std::size_t size = units.size();
  for (const char16_t* p = begin; p != end;) {
    if (end - p >= 4 && FourAscii(p)) {
      p += 4;
      continue;
    }
    size += static_cast<std::size_t>(*p >= 0x80) + static_cast<std::size_t>(*p >= 0x800);
    ++p;
  }
  std::string bytes(size, '\0');
  char* out = bytes.data();
  for (const char16_t* in = begin; in != end;) {
    // Pages are mostly markup: ASCII goes four units at a time.
    if (end - in >= 4 && FourAscii(in)) {
      out[0] = static_cast<char>(in[0]);
      out[1] = static_cast<char>(in[1]);
      out[2] = static_cast<char>(in[2]);
      out[3] = static_cast<char>(in[3]);
      out += 4;
      in += 4;
      continue;
    }
    const char16_t unit = *in++;
    if (unit < 0x80) {
      *out++ = static_cast<char>(unit);
    } else if (unit < 0x800) {
      *out++ = static_cast<char>(0xC0 | (unit >> 6));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    } else {
      *out++ = static_cast<char>(0xE0 | (unit >> 12));
      *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
      *out++ = static_cast<char>(0x80 | (unit & 0x3F));
    }
  }
  return bytes;
}

std::u16string FromCesu8(const char* data, std::size_t length) {
  std::u16string units;
  units.reserve(length);
  const auto* p = reinterpret_cast<const unsigned char*>(data);
  std::size_t i = 0;
  while (i < length) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      units += static_cast<char16_t>(lead);
      ++i;
    } else if ((lead & 0xE0) == 0xC0 && i + 1 < length) {
      units += static_cast<char16_t>(((lead & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
    } else if ((lead & 0xF0) == 0xE0 && i + 2 < length) {
      units += static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
    } else if ((lead & 0xF8) == 0xF0 && i + 3 < length) {
      // A code point above U+FFFF that came in as UTF-8 from outside.
      const char32_t point =
          ((lead & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
      units += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
      i += 4;
    } else {
      units += u'\uFFFD';
      ++i;
    }
  }
  return units;
}

// A value on its way into script, prepared in full before any Duktape call
// so that pushing it needs no C++ object that would need destroying.
struct Encoded {
  enum class Kind : std::uint8_t { Undefined, Null, Number, Boolean, String, Date, Host, Stashed, Array };
  Kind kind = Kind::Undefined;
  double number = 0;  // a number, or a platform date
  bool boolean = false;
  std::string bytes;
  std::size_t host = 0;
  std::uint32_t stash = 0;
  // An array, until pushing it hands it to the script value that carries it.
  std::unique_ptr<Variant> array;
};

bool IsObjectLike(duk_context* ctx, duk_idx_t index) {
  return duk_check_type_mask(ctx, index, DUK_TYPE_MASK_OBJECT | DUK_TYPE_MASK_LIGHTFUNC | DUK_TYPE_MASK_BUFFER) != 0;
}

void PutInStash(duk_context* ctx, duk_uarridx_t key) {
  // [... value] -> [... value]
  duk_push_heap_stash(ctx);
  duk_dup(ctx, -2);
  duk_put_prop_index(ctx, -2, key);
  duk_pop(ctx);
}

void PushFromStash(duk_context* ctx, duk_uarridx_t key) {
  duk_push_heap_stash(ctx);
  duk_get_prop_index(ctx, -1, key);
  duk_remove(ctx, -2);
}

duk_ret_t DropFromStash(duk_context* ctx, void* udata) {
  duk_push_heap_stash(ctx);
  duk_del_prop_index(ctx, -1, *static_cast<const duk_uarridx_t*>(udata));
  return 0;
}

// Every protected call that runs script leaves an outcome of this many
// values: [true, value, form, the value itself, -, -] or, when it failed,
// [false, name, message, line, number, chunk] (see ErrorOutcome).
constexpr duk_idx_t kOutcome = 6;

// Turns the value thrown, at the top, into a failed outcome. `name`,
// `message`, `line` and `chunk` (the code's chunk, its file name) are an
// error's; another value has no name and its text as the message. `number`
// is the number the value carries, as JScript's errors do, if any.
duk_ret_t ErrorOutcome(duk_context* ctx) {
  const duk_idx_t error = duk_get_top_index(ctx);
  duk_push_false(ctx);
  const bool isError = duk_is_error(ctx, error) != 0;
  if (isError) {
    duk_get_prop_string(ctx, error, "name");
    duk_safe_to_string(ctx, -1);
    duk_get_prop_string(ctx, error, "message");
    duk_safe_to_string(ctx, -1);
    duk_get_prop_string(ctx, error, "lineNumber");
  } else {
    duk_push_string(ctx, "");
    duk_dup(ctx, error);
    duk_safe_to_string(ctx, -1);
    duk_push_int(ctx, 0);
  }
  if (duk_is_object(ctx, error)) {
    duk_get_prop_string(ctx, error, "number");
  } else {
    duk_push_undefined(ctx);
  }
  if (isError) {
    duk_get_prop_string(ctx, error, "fileName");
  } else {
    duk_push_undefined(ctx);
  }
  return kOutcome;
}

// A failed outcome for JScript error `number`, of no script value.
duk_ret_t JScriptErrorOutcome(duk_context* ctx, int number) {
  duk_push_false(ctx);
  duk_push_string(ctx, "");
  duk_push_string(ctx, "");
  duk_push_int(ctx, 0);
  duk_push_number(ctx, JScriptCode(number));
  duk_push_undefined(ctx);
  return kOutcome;
}

// How a value out of script stands on the stack.
enum class Form : int {
  Plain = 0,    // the value itself
  Stashed = 1,  // an object kept in the stash: its key
  Host = 2,     // one of our wrappers: its host's index
  Date = 3,     // a Date from a platform date: the platform date now
  Array = 4,    // the wrapper of an array from outside: the array (a Variant*)
};

bool IsHostWrapper(duk_context* ctx, duk_idx_t index) {
  // Hidden keys are out of reach of script code and of proxy traps.
  return duk_is_object(ctx, index) && duk_has_prop_string(ctx, index, kHostKey);
}

bool IsArrayWrapper(duk_context* ctx, duk_idx_t index) {
  return duk_is_object(ctx, index) && duk_has_prop_string(ctx, index, kArrayKey);
}

// Pushes what stands outside for the value at the top, and says how:
// [... value] -> [... value payload]. An object other than our own kinds is
// kept in the stash under `key` (when not 0).
Form Classify(duk_context* ctx, duk_uarridx_t key) {
  const duk_idx_t value = duk_get_top_index(ctx);
  if (IsHostWrapper(ctx, value)) {
    duk_get_prop_string(ctx, value, kHostKey);
    return Form::Host;
  }
  double date = 0;
  if (PlatformDateOf(ctx, value, date)) {
    duk_push_number(ctx, date);
    return Form::Date;
  }
  if (IsArrayWrapper(ctx, value)) {
    duk_get_prop_string(ctx, value, kArrayKey);
    return Form::Array;
  }
  duk_dup(ctx, value);
  if (key != 0 && IsObjectLike(ctx, value)) {
    PutInStash(ctx, key);
    duk_pop(ctx);
    duk_push_uint(ctx, key);
    return Form::Stashed;
  }
  return Form::Plain;
}

// Turns the value at the top into a successful outcome. The value stays in
// it, so that what its payload points to lives as long as the outcome.
duk_ret_t ValueOutcome(duk_context* ctx, duk_uarridx_t key) {
  const Form form = Classify(ctx, key);  // [value payload]
  duk_push_true(ctx);
  duk_insert(ctx, -3);  // [true value payload]
  duk_swap_top(ctx, -2);
  duk_push_int(ctx, static_cast<int>(form));
  duk_insert(ctx, -2);  // [true payload form value]
  duk_push_undefined(ctx);
  duk_push_undefined(ctx);
  return kOutcome;
}

duk_ret_t Outcome(duk_context* ctx, duk_int_t status, duk_uarridx_t key) {
  return status == DUK_EXEC_SUCCESS ? ValueOutcome(ctx, key) : ErrorOutcome(ctx);
}

// For a protected call from C++: the value at `index`, as Classify gives it:
// [payload form].
struct ClassifyData {
  duk_idx_t index;
  duk_uarridx_t key;
};

duk_ret_t ClassifyValue(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const ClassifyData*>(udata);
  duk_dup(ctx, data->index);
  const Form form = Classify(ctx, data->key);
  duk_remove(ctx, -2);
  duk_push_int(ctx, static_cast<int>(form));
  return 2;
}

// Frees the array a wrapper carries, when Duktape is done with the wrapper.
duk_ret_t FreeArray(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kArrayKey);
  auto* array = static_cast<Variant*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  duk_del_prop_string(ctx, 0, kArrayKey);
  delete array;
  return 0;
}

// The chunk of code a file name of ours names (0 for none).
int ChunkNumber(const char* name) {
  int chunk = 0;
  for (; name != nullptr && *name >= '0' && *name <= '9' && chunk < 100000000; ++name)
    chunk = chunk * 10 + (*name - '0');
  return chunk;
}

// Duktape's errThrow hook, called with each value about to be thrown:
// notes the line and chunk of the innermost script function running, where
// JScript places a run-time error, and lets the value go on unchanged.
duk_ret_t NoteThrow(duk_context* ctx) {
  duk_memory_functions functions;
  duk_get_memory_functions(ctx, &functions);
  auto* limits = static_cast<HeapLimits*>(functions.udata);
  for (duk_int_t level = -2; limits != nullptr; --level) {
    duk_inspect_callstack_entry(ctx, level);
    if (duk_is_undefined(ctx, -1)) break;
    duk_get_prop_string(ctx, -1, "lineNumber");
    const int line = duk_get_int(ctx, -1);
    duk_pop(ctx);
    if (line > 0) {
      duk_get_prop_string(ctx, -1, "function");
      duk_get_prop_string(ctx, -1, "fileName");
      limits->thrownLine = line;
      limits->thrownChunk = ChunkNumber(duk_get_string(ctx, -1));
      duk_pop_2(ctx);
      break;
    }
    duk_pop(ctx);
  }
  duk_dup(ctx, 0);
  return 1;
}

duk_ret_t HostTrampoline(duk_context* ctx);

// What a wrapper's function does with its host: call a method, read a
// property that takes arguments, or serve as a property's getter or setter
// (Duktape passes these the property's key after the value).
enum class HostOp : int { Call = 0, Read = 1, Get = 2, Set = 3 };

void PushTrampoline(duk_context* ctx, std::size_t host, const std::string& name, HostOp op) {
  duk_push_c_function(ctx, HostTrampoline, DUK_VARARGS);
  duk_push_uint(ctx, static_cast<duk_uint_t>(host));
  duk_put_prop_string(ctx, -2, kMemberHostKey);
  duk_push_int(ctx, static_cast<int>(op));
  duk_put_prop_string(ctx, -2, kOpKey);
  duk_push_lstring(ctx, name.data(), name.size());
  duk_put_prop_string(ctx, -2, kNameKey);
}

// Defines the members of a component on the object at `target`: properties
// as accessors, methods (and properties that take arguments) as functions.
void DefineMembers(duk_context* ctx, duk_idx_t target, std::size_t host, const TypeInfo* info) {
  if (info == nullptr) return;
  target = duk_normalize_index(ctx, target);
  const std::vector<MemberDesc>& members = info->Members();
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::string& name = members[i].name;
    bool seen = false;
    for (std::size_t j = 0; j < i && !seen; ++j) seen = FoldName(members[j].name) == FoldName(name);
    if (seen) continue;
    const MemberDesc* get = info->Bind(name, InvokeKind::PropertyGet);
    const MemberDesc* put = info->Bind(name, InvokeKind::PropertyPut);
    if (put == nullptr) put = info->Bind(name, InvokeKind::PropertyPutRef);
    const bool method = info->Bind(name, InvokeKind::Method) != nullptr;
    const bool plainGet = get != nullptr && (get->variable || get->params.empty());
    duk_push_lstring(ctx, name.data(), name.size());
    if (!method && (plainGet || (get == nullptr && put != nullptr))) {
      duk_uint_t flags = DUK_DEFPROP_SET_ENUMERABLE | DUK_DEFPROP_SET_CONFIGURABLE;
      if (plainGet) {
        PushTrampoline(ctx, host, name, HostOp::Get);
        flags |= DUK_DEFPROP_HAVE_GETTER;
      }
      if (put != nullptr) {
        PushTrampoline(ctx, host, name, HostOp::Set);
        flags |= DUK_DEFPROP_HAVE_SETTER;
      }
      duk_def_prop(ctx, target, flags);
    } else {
      PushTrampoline(ctx, host, name, method ? HostOp::Call : HostOp::Read);
      duk_def_prop(ctx, target, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WEC);
    }
  }
}

struct PushContext {
  const std::vector<Object>* hosts;
};

// Pushes `value`; an array goes to the wrapper that carries it, which frees
// it when Duktape is done with it.
void Push(duk_context* ctx, Encoded& value, const PushContext& context) {
  duk_require_stack(ctx, 8);
  switch (value.kind) {
    case Encoded::Kind::Undefined:
      duk_push_undefined(ctx);
      return;
    case Encoded::Kind::Null:
      duk_push_null(ctx);
      return;
    case Encoded::Kind::Number:
      duk_push_number(ctx, value.number);
      return;
    case Encoded::Kind::Boolean:
      duk_push_boolean(ctx, value.boolean ? 1 : 0);
      return;
    case Encoded::Kind::String:
      duk_push_lstring(ctx, value.bytes.data(), value.bytes.size());
      return;
    case Encoded::Kind::Date:
      PushPlatformDate(ctx, value.number);
      return;
    case Encoded::Kind::Host: {
      duk_push_object(ctx);
      duk_push_uint(ctx, static_cast<duk_uint_t>(value.host));
      duk_put_prop_string(ctx, -2, kHostKey);
      const Object& host = (*context.hosts)[value.host];
      DefineMembers(ctx, -1, value.host, host.IsEmpty() ? nullptr : host->GetTypeInfo());
      return;
    }
    case Encoded::Kind::Stashed:
      PushFromStash(ctx, value.stash);
      return;
    case Encoded::Kind::Array:
      duk_push_object(ctx);
      if (value.array == nullptr) return;
      duk_push_c_function(ctx, FreeArray, 2);
      duk_set_finalizer(ctx, -2);
      duk_push_pointer(ctx, value.array.get());
      duk_put_prop_string(ctx, -2, kArrayKey);
      static_cast<void>(value.array.release());
      return;
  }
}

ScriptError TimedOutError() {
  return ScriptError{
      kTimedOut, u"ScriptControl", u"This operation returned because the timeout period expired.", u"", 0, 0};
}

ScriptError OutOfMemoryError() {
  return ScriptError{kOutOfMemory, kRuntimeSource, std::u16string(JScriptWording(jscript::kOutOfMemory)), u"", 0, 0};
}

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

// The place of a compile error in `code`, from the byte offset Duktape gave
// (its lexer reads the CESU-8 form: one to three bytes a unit).
struct CompilePlace {
  int column = 0;
  std::u16string text;
  SyntaxSite site;
};

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

// The column of a run-time error: Duktape knows only the line, so the start
// of the first statement on it.
int ColumnOfLine(std::u16string_view code, int line) {
  const std::size_t start = LineStart(code, line);
  if (start == std::u16string_view::npos) return 0;
  std::size_t at = start;
  while (at < code.size() && IsBlank(code[at])) ++at;
  return static_cast<int>(at - start);
}

}  // namespace

// The code a call compiles, for placing its errors.
struct ScriptHeap::Chunk {
  std::u16string_view text;
  int number = 0;
  bool compileFailed = false;
};

// The operations that cross between C++ and Duktape, with the outcome of a
// protected call read back by getters that never throw.
class ScriptHeap::Access {
 public:
  static ScriptHeap* FromContext(duk_context* ctx) {
    duk_push_heap_stash(ctx);
    duk_get_prop_string(ctx, -1, kHeapKey);
    auto* heap = static_cast<ScriptHeap*>(duk_get_pointer(ctx, -1));
    duk_pop_2(ctx);
    return heap;
  }

  static std::uint32_t ReserveKey(ScriptHeap& heap) { return heap.nextStashKey_++; }

  static Encoded Encode(ScriptHeap& heap, const Variant& value);

  // The value at `index`: objects are kept in the stash and cross as objects
  // that answer by name. False when the heap has no memory left to keep one.
  static bool ValueAt(ScriptHeap& heap, duk_idx_t index, Variant& value);

  // The value of an outcome: its payload at `index`, standing as `form`.
  static bool PayloadAt(ScriptHeap& heap, duk_idx_t index, int form, Variant& value);

  // Reads the outcome values that a protected call left and pops them.
  static bool ReadOutcome(ScriptHeap& heap, duk_int_t status, Variant* result, ScriptError& error,
                          const Chunk* chunk = nullptr);

  static bool AccessObject(ScriptHeap& heap, std::uint32_t target, std::u16string_view name, bool byValue,
                           InvokeKind kind, std::vector<Encoded>& args, Variant& result, ScriptError& error);

  // Whether the object kept under `target` has a property `name`, its own
  // or inherited.
  static bool HasMember(ScriptHeap& heap, std::uint32_t target, std::u16string_view name);

  static Object Host(ScriptHeap& heap, std::size_t index) {
    return index < heap.hostObjects_.size() ? heap.hostObjects_[index] : Object();
  }

  static PushContext Context(ScriptHeap& heap) { return PushContext{&heap.hostObjects_}; }

  // Without memory to spare, the entry stays until the heap ends.
  static void Unstash(ScriptHeap& heap, std::uint32_t key) {
    if (heap.ctx_ == nullptr) return;
    const Entry entry(*heap.limits_);
    duk_uarridx_t index = key;
    duk_safe_call(heap.ctx_, DropFromStash, &index, 0, 1);
    duk_pop(heap.ctx_);
  }

 private:
  static ScriptError FailedScript(ScriptHeap& heap, duk_idx_t base, const Chunk* chunk);
};

namespace {

// A script object seen from outside: it answers the names of the properties
// it has, its own or inherited, by looking them up when called; any other
// name is unknown, as JScript's objects answer by name.
class ScriptObject final : public Component {
 public:
  ScriptObject(std::shared_ptr<ScriptHeap> heap, std::uint32_t key) : heap_(std::move(heap)), key_(key) {}
  ~ScriptObject() override { ScriptHeap::Access::Unstash(*heap_, key_); }

  const TypeInfo* GetTypeInfo() const override { return nullptr; }

  bool BelongsTo(const ScriptHeap* heap) const { return heap_.get() == heap; }
  std::uint32_t Key() const { return key_; }

  HRESULT GetIdOfName(std::u16string_view name, DispId& id) override {
    if (!ScriptHeap::Access::HasMember(*heap_, key_, name)) return DISP_E_UNKNOWNNAME;
    for (std::size_t i = 0; i < names_.size(); ++i) {
      if (names_[i] == name) {
        id = static_cast<DispId>(i + 1);
        return S_OK;
      }
    }
    names_.emplace_back(name);
    id = static_cast<DispId>(names_.size());
    return S_OK;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    const bool byValue = id == DISPID_VALUE;
    if (!byValue && (id < 1 || static_cast<std::size_t>(id) > names_.size())) return DISP_E_MEMBERNOTFOUND;
    std::vector<Encoded> encoded;
    encoded.reserve(args.Count());
    for (std::size_t i = 0; i < args.Count(); ++i) encoded.push_back(ScriptHeap::Access::Encode(*heap_, args[i]));
    ScriptError error;
    const std::u16string_view name = byValue ? std::u16string_view() : names_[static_cast<std::size_t>(id) - 1];
    if (!ScriptHeap::Access::AccessObject(*heap_, key_, name, byValue, kind, encoded, result, error)) {
      return Raise(excep, error.number, error.description, error.source);
    }
    return S_OK;
  }

 private:
  std::shared_ptr<ScriptHeap> heap_;
  std::uint32_t key_;
  std::vector<std::u16string> names_;
};

struct CodeData {
  const std::string* code;
  const std::string* chunk;  // its file name
  duk_uint_t flags;
  duk_uarridx_t key;
  bool compileFailed;
};

duk_ret_t RunCode(duk_context* ctx, void* udata) {
  auto* data = static_cast<CodeData*>(udata);
  duk_push_lstring(ctx, data->code->data(), data->code->size());
  duk_push_lstring(ctx, data->chunk->data(), data->chunk->size());
  if (duk_pcompile(ctx, data->flags) != 0) {
    data->compileFailed = true;
    return ErrorOutcome(ctx);
  }
  return Outcome(ctx, duk_pcall(ctx, 0), data->key);
}

struct CallData {
  const std::string* name;
  std::vector<Encoded>* args;
  PushContext context;
  duk_uarridx_t key;
  bool unknownName;
};

duk_ret_t CallProcedure(duk_context* ctx, void* udata) {
  auto* data = static_cast<CallData*>(udata);
  duk_push_global_object(ctx);
  if (!duk_has_prop_lstring(ctx, -1, data->name->data(), data->name->size())) {
    data->unknownName = true;
    return JScriptErrorOutcome(ctx, jscript::kUndefinedIdentifier);
  }
  duk_get_prop_lstring(ctx, -1, data->name->data(), data->name->size());
  duk_require_stack(ctx, static_cast<duk_idx_t>(data->args->size()) + 8);
  for (Encoded& arg : *data->args) Push(ctx, arg, data->context);
  return Outcome(ctx, duk_pcall(ctx, static_cast<duk_idx_t>(data->args->size())), data->key);
}

struct AccessData {
  duk_uarridx_t target;
  const std::string* name;
  bool byValue;
  InvokeKind kind;
  std::vector<Encoded>* args;
  PushContext context;
  duk_uarridx_t key;
};

duk_ret_t AccessProperty(duk_context* ctx, void* udata) {
  auto* data = static_cast<AccessData*>(udata);
  const auto argc = static_cast<duk_idx_t>(data->args->size());
  duk_require_stack(ctx, argc + 8);
  PushFromStash(ctx, data->target);
  const duk_idx_t object = duk_get_top_index(ctx);
  const bool put = data->kind == InvokeKind::PropertyPut || data->kind == InvokeKind::PropertyPutRef;
  if (data->byValue) {
    if (data->kind == InvokeKind::Method && duk_is_callable(ctx, object)) {
      for (Encoded& arg : *data->args) Push(ctx, arg, data->context);
      return Outcome(ctx, duk_pcall(ctx, argc), data->key);
    }
    // An object's own value is its string form: JScript's default value.
    duk_dup(ctx, object);
    duk_to_string(ctx, -1);
    return ValueOutcome(ctx, 0);
  }
  if (put) {
    if (argc == 0) return ErrorOutcome(ctx);
    duk_push_lstring(ctx, data->name->data(), data->name->size());
    Push(ctx, data->args->back(), data->context);
    duk_put_prop(ctx, object);
    duk_push_undefined(ctx);
    return ValueOutcome(ctx, 0);
  }
  duk_get_prop_lstring(ctx, object, data->name->data(), data->name->size());
  const bool callable = duk_is_callable(ctx, -1) != 0;
  if (callable && (data->kind == InvokeKind::Method || argc > 0)) {
    duk_dup(ctx, object);
    for (Encoded& arg : *data->args) Push(ctx, arg, data->context);
    return Outcome(ctx, duk_pcall_method(ctx, argc), data->key);
  }
  if (argc > 0) return JScriptErrorOutcome(ctx, jscript::kObjectDoesNotSupport);
  return ValueOutcome(ctx, data->key);
}

struct HasData {
  duk_uarridx_t target;
  const std::string* name;
  bool found;
};

duk_ret_t HasProperty(duk_context* ctx, void* udata) {
  auto* data = static_cast<HasData*>(udata);
  PushFromStash(ctx, data->target);
  data->found = duk_is_object(ctx, -1) && duk_has_prop_lstring(ctx, -1, data->name->data(), data->name->size());
  return 0;
}

struct DefineData {
  const std::string* name;
  std::size_t host;
  const TypeInfo* info;
  bool addMembers;
};

duk_ret_t DefineGlobalObject(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const DefineData*>(udata);
  duk_push_global_object(ctx);
  duk_push_lstring(ctx, data->name->data(), data->name->size());
  duk_push_object(ctx);
  duk_push_uint(ctx, static_cast<duk_uint_t>(data->host));
  duk_put_prop_string(ctx, -2, kHostKey);
  DefineMembers(ctx, -1, data->host, data->info);
  duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WEC);
  if (data->addMembers) DefineMembers(ctx, -1, data->host, data->info);
  duk_push_undefined(ctx);
  return ValueOutcome(ctx, 0);
}

duk_ret_t ListProcedures(duk_context* ctx, void* udata) {
  const auto* builtins = static_cast<const std::vector<std::string>*>(udata);
  duk_push_array(ctx);
  const duk_idx_t list = duk_get_top_index(ctx);
  duk_push_global_object(ctx);
  duk_enum(ctx, -1, DUK_ENUM_OWN_PROPERTIES_ONLY);
  duk_uarridx_t count = 0;
  while (duk_next(ctx, -1, 1) != 0) {
    // [... enum key value]
    duk_size_t length = 0;
    const char* key = duk_get_lstring(ctx, -2, &length);
    bool builtin = false;
    for (const std::string& name : *builtins) builtin = builtin || name == std::string_view(key, length);
    if (!builtin && duk_is_function(ctx, -1)) {
      duk_get_prop_string(ctx, -1, "length");
      duk_put_prop_index(ctx, list, count + 1);
      duk_dup(ctx, -2);
      duk_put_prop_index(ctx, list, count);
      count += 2;
    }
    duk_pop_2(ctx);
  }
  duk_pop_2(ctx);
  return ValueOutcome(ctx, 0);
}

// A host call's failure, kept in plain storage: JScript's view of the
// host's error, and its description.
struct HostCall {
  char message[512] = {};
  HRESULT code = 0;
  bool failed = false;
};

struct PushData {
  Encoded* value;
  PushContext context;
};

duk_ret_t PushEncoded(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const PushData*>(udata);
  Push(ctx, *data->value, data->context);
  return 1;
}

void Fail(HostCall& call, HRESULT code, std::string_view message) {
  std::snprintf(call.message, sizeof call.message, "%.*s", static_cast<int>(message.size()), message.data());
  call.code = code;
  call.failed = true;
}

// The C++ side of a host call: reads the arguments, calls the member and
// leaves its value at the top of the stack. Duktape's errors are longjmps
// that would skip the destructors of the objects here, so every Duktape call
// that can throw runs in a protected call of its own.
void RunHost(duk_context* ctx, ScriptHeap& heap, duk_idx_t argc, std::size_t host, HostOp op, std::string_view name,
             HostCall& call) noexcept {
  try {
    const std::string memberName(name);
    const duk_idx_t given = op == HostOp::Get ? 0 : op == HostOp::Set ? std::min<duk_idx_t>(argc, 1) : argc;
    std::vector<Arg> args;
    args.reserve(static_cast<std::size_t>(given));
    for (duk_idx_t i = 0; i < given; ++i) {
      Variant arg;
      if (!ScriptHeap::Access::ValueAt(heap, i, arg)) return Fail(call, kOutOfMemory, "");
      args.emplace_back(std::move(arg));
    }
    const Object target = ScriptHeap::Access::Host(heap, host);
    Variant result;
    switch (op) {
      case HostOp::Read:
      case HostOp::Get:
        result = ReadProperty(target, memberName, std::span<const Arg>(args));
        break;
      case HostOp::Set:
        WriteProperty(target, memberName, std::span<const Arg>(args));
        break;
      case HostOp::Call:
        result = CallVariantMethod(target, memberName, std::span<const Arg>(args));
        break;
    }
    const CallState& state = LastCall();
    if (Failed(state.code)) {
      // The host's own error, or JScript's for a call the host refused.
      const HRESULT raised = state.code == DISP_E_EXCEPTION ? state.excep.code : state.code;
      const HRESULT code = HostErrorCode(raised != 0 ? raised : E_FAIL);
      const std::u16string_view description = !state.excep.description.empty()
                                                  ? std::u16string_view(state.excep.description)
                                                  : JScriptWording(JScriptNumber(code));
      return Fail(call, code, ToCesu8(description));
    }
    Encoded encoded = ScriptHeap::Access::Encode(heap, result);
    PushData data{&encoded, ScriptHeap::Access::Context(heap)};
    if (duk_safe_call(ctx, PushEncoded, &data, 0, 1) != DUK_EXEC_SUCCESS) {
      duk_pop(ctx);
      Fail(call, kOutOfMemory, "");
    }
  } catch (...) {
    Fail(call, E_FAIL, name);
  }
}

// Runs a host member for script. Only plain values live in this frame, so
// the script error raised here unwinds nothing that C++ would clean up. The
// error carries the host's number, as JScript's do.
duk_ret_t HostTrampoline(duk_context* ctx) {
  const duk_idx_t argc = duk_get_top(ctx);
  ScriptHeap* heap = ScriptHeap::Access::FromContext(ctx);
  duk_push_current_function(ctx);
  duk_get_prop_string(ctx, -1, kMemberHostKey);
  const auto host = static_cast<std::size_t>(duk_get_uint(ctx, -1));
  duk_get_prop_string(ctx, -2, kOpKey);
  const auto op = static_cast<HostOp>(duk_get_int(ctx, -1));
  duk_get_prop_string(ctx, -3, kNameKey);
  duk_size_t nameLength = 0;
  // The function keeps the name's string alive for the whole call.
  const char* name = duk_get_lstring(ctx, -1, &nameLength);
  duk_pop_n(ctx, 4);
  HostCall call;
  RunHost(ctx, *heap, argc, host, op, std::string_view(name != nullptr ? name : "", nameLength), call);
  if (!call.failed) return 1;
  duk_push_error_object(ctx, DUK_ERR_ERROR, "%s", call.message);
  duk_push_number(ctx, call.code);
  duk_put_prop_string(ctx, -2, "number");
  return duk_throw(ctx);
}

}  // namespace

Encoded ScriptHeap::Access::Encode(ScriptHeap& heap, const Variant& value) {
  const Variant& v = value.Deref();
  Encoded encoded;
  switch (v.Type()) {
    case VT_NULL:
      encoded.kind = Encoded::Kind::Null;
      break;
    case VT_BOOL:
      encoded.kind = Encoded::Kind::Boolean;
      encoded.boolean = v.BoolValue();
      break;
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
      encoded.kind = Encoded::Kind::Number;
      encoded.number = static_cast<double>(v.Signed());
      break;
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
      encoded.kind = Encoded::Kind::Number;
      encoded.number = static_cast<double>(v.Unsigned());
      break;
    case VT_R4:
      encoded.kind = Encoded::Kind::Number;
      encoded.number = static_cast<double>(v.Single());
      break;
    case VT_R8:
      encoded.kind = Encoded::Kind::Number;
      encoded.number = v.Real();
      break;
    case VT_CY:
      encoded.kind = Encoded::Kind::Number;
      encoded.number = static_cast<double>(v.Signed()) / 10000.0;
      break;
    case VT_BSTR:
      encoded.kind = Encoded::Kind::String;
      encoded.bytes = ToCesu8(v.TextValue());
      break;
    case VT_DATE:
      encoded.kind = Encoded::Kind::Date;
      encoded.number = v.Real();
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      const Object& object = v.ObjectValue();
      if (object.IsEmpty()) {
        encoded.kind = Encoded::Kind::Null;
      } else if (const auto* own = dynamic_cast<const ScriptObject*>(object.Get());
                 own != nullptr && own->BelongsTo(&heap)) {
        encoded.kind = Encoded::Kind::Stashed;
        encoded.stash = own->Key();
      } else {
        encoded.kind = Encoded::Kind::Host;
        encoded.host = heap.hostObjects_.size();
        heap.hostObjects_.push_back(object);
      }
      break;
    }
    default:
      if (v.IsArray() && v.ArrayValue() != nullptr) {
        // An array passes through script untouched, as JScript passes a
        // SAFEARRAY: a value that goes back out as the same array.
        encoded.kind = Encoded::Kind::Array;
        encoded.array = std::make_unique<Variant>(v);
      }
      break;
  }
  return encoded;
}

bool ScriptHeap::Access::PayloadAt(ScriptHeap& heap, duk_idx_t index, int form, Variant& value) {
  duk_context* ctx = heap.ctx_;
  switch (static_cast<Form>(form)) {
    case Form::Stashed:
      value = Variant::Dispatch(MakeObject<ScriptObject>(heap.shared_from_this(), duk_get_uint(ctx, index)));
      return true;
    case Form::Host:
      value = Variant::Dispatch(Host(heap, duk_get_uint(ctx, index)));
      return true;
    case Form::Date: {
      // An invalid Date has no platform date.
      const double date = duk_get_number(ctx, index);
      value = std::isnan(date) ? Variant::Null() : Variant::Date(date);
      return true;
    }
    case Form::Array: {
      const auto* array = static_cast<const Variant*>(duk_get_pointer(ctx, index));
      value = array != nullptr ? *array : Variant();
      return true;
    }
    case Form::Plain:
      break;
  }
  switch (duk_get_type(ctx, index)) {
    case DUK_TYPE_NULL:
      value = Variant::Null();
      return true;
    case DUK_TYPE_BOOLEAN:
      value = Variant::Bool(duk_get_boolean(ctx, index) != 0);
      return true;
    case DUK_TYPE_NUMBER: {
      // As JScript gives numbers: a whole number that fits 32 bits as a
      // 32-bit integer, anything else as a double.
      const double number = duk_get_number(ctx, index);
      if (std::trunc(number) == number && number >= -2147483648.0 && number <= 2147483647.0 &&
          !(number == 0 && std::signbit(number))) {
        value = Variant::I4(static_cast<std::int32_t>(number));
      } else {
        value = Variant::R8(number);
      }
      return true;
    }
    case DUK_TYPE_STRING: {
      duk_size_t length = 0;
      const char* bytes = duk_get_lstring(ctx, index, &length);
      value = Variant::Text(FromCesu8(bytes, length));
      return true;
    }
    case DUK_TYPE_OBJECT:
    case DUK_TYPE_LIGHTFUNC:
    case DUK_TYPE_BUFFER:
      return ValueAt(heap, index, value);
    default:
      value = Variant();
      return true;
  }
}

bool ScriptHeap::Access::ValueAt(ScriptHeap& heap, duk_idx_t index, Variant& value) {
  duk_context* ctx = heap.ctx_;
  if (!IsObjectLike(ctx, index)) return PayloadAt(heap, index, static_cast<int>(Form::Plain), value);
  ClassifyData data{duk_normalize_index(ctx, index), ReserveKey(heap)};
  const bool classified = duk_safe_call(ctx, ClassifyValue, &data, 0, 2) == DUK_EXEC_SUCCESS;
  const int form = duk_get_int(ctx, -1);
  // The value itself stays at `index` while its payload is read.
  const bool read = classified && form != static_cast<int>(Form::Plain) && PayloadAt(heap, -2, form, value);
  duk_pop_2(ctx);
  return read;
}

ScriptError ScriptHeap::Access::FailedScript(ScriptHeap& heap, duk_idx_t base, const Chunk* chunk) {
  duk_context* ctx = heap.ctx_;
  const HeapLimits& limits = *heap.limits_;
  duk_size_t nameLength = 0;
  const char* nameBytes = duk_get_lstring(ctx, base + 1, &nameLength);
  const std::u16string name = FromCesu8(nameBytes, nameLength);
  duk_size_t messageLength = 0;
  const char* messageBytes = duk_get_lstring(ctx, base + 2, &messageLength);
  const std::u16string message = FromCesu8(messageBytes, messageLength);
  ScriptError error;
  if (chunk != nullptr && chunk->compileFailed) {
    const CompilePlace place = PlaceOfOffset(chunk->text, limits.compileOffset);
    const int number = EngineErrorNumber(name, message, true, place.site);
    error.number = JScriptCode(number);
    error.source = kCompileSource;
    error.description = std::u16string(JScriptWording(number));
    error.text = place.text;
    error.line = limits.compileLine;
    error.column = place.column;
    return error;
  }
  error.source = kRuntimeSource;
  // A number the thrown value carries is its error: a failure code as it
  // stands, another number as a JScript error number.
  const double own = duk_is_number(ctx, base + 4) ? duk_get_number(ctx, base + 4) : 0;
  if (std::isfinite(own) && own != 0 && std::fabs(own) < 4294967296.0) {
    const auto bits = static_cast<std::uint32_t>(static_cast<std::int64_t>(own));
    error.number =
        Failed(static_cast<HRESULT>(bits)) ? static_cast<HRESULT>(bits) : JScriptCode(static_cast<int>(bits));
    // A script's own error keeps its message.
    error.description = !name.empty() && !message.empty() ? message : std::u16string();
  } else {
    error.number = JScriptCode(EngineErrorNumber(name, message, false));
    // A plain Error is the script's own, thrown and not caught: its message
    // says what it is.
    if (name == u"Error") error.description = message;
  }
  if (error.description.empty()) error.description = std::u16string(JScriptWording(JScriptNumber(error.number)));
  // Where the value was thrown, or else where the error was made.
  int chunkNumber = limits.thrownChunk;
  error.line = limits.thrownLine;
  if (error.line <= 0) {
    error.line = duk_get_int(ctx, base + 3);
    chunkNumber = ChunkNumber(duk_get_string(ctx, base + 5));
  }
  std::u16string_view text;
  if (chunk != nullptr && chunk->number == chunkNumber) {
    text = chunk->text;
  } else if (const auto kept = heap.sources_.find(chunkNumber); kept != heap.sources_.end()) {
    text = kept->second;
  }
  error.column = error.line > 0 ? ColumnOfLine(text, error.line) : 0;
  return error;
}

bool ScriptHeap::Access::ReadOutcome(ScriptHeap& heap, duk_int_t status, Variant* result, ScriptError& error,
                                     const Chunk* chunk) {
  duk_context* ctx = heap.ctx_;
  const duk_idx_t base = duk_get_top(ctx) - kOutcome;
  bool ok = false;
  const bool failed = status != DUK_EXEC_SUCCESS || duk_get_boolean(ctx, base) == 0;
  if (failed && heap.limits_->expired) {
    // Stopped at the deadline, whatever the script made of the error.
    error = TimedOutError();
  } else if (failed && heap.limits_->refused != 0) {
    // A call that fails once the heap has been refused memory fails for want
    // of it (Duktape's own error says "alloc failed").
    error = OutOfMemoryError();
  } else if (status != DUK_EXEC_SUCCESS) {
    // The protected call itself failed: only the error value is there.
    error = ScriptError{JScriptCode(jscript::kUncaughtException),
                        kRuntimeSource,
                        std::u16string(JScriptWording(jscript::kUncaughtException)),
                        u"",
                        0,
                        0};
  } else if (duk_get_boolean(ctx, base) != 0) {
    ok = result == nullptr || PayloadAt(heap, base + 1, duk_get_int(ctx, base + 2), *result);
    if (!ok) error = OutOfMemoryError();
  } else {
    error = FailedScript(heap, base, chunk);
  }
  duk_pop_n(ctx, kOutcome);
  return ok;
}

bool ScriptHeap::Access::AccessObject(ScriptHeap& heap, std::uint32_t target, std::u16string_view name, bool byValue,
                                      InvokeKind kind, std::vector<Encoded>& args, Variant& result,
                                      ScriptError& error) {
  const std::string nameBytes = ToCesu8(name);
  AccessData data{target, &nameBytes, byValue, kind, &args, Context(heap), ReserveKey(heap)};
  const Entry entry(*heap.limits_);
  const duk_int_t status = duk_safe_call(heap.ctx_, AccessProperty, &data, 0, kOutcome);
  return ReadOutcome(heap, status, &result, error);
}

bool ScriptHeap::Access::HasMember(ScriptHeap& heap, std::uint32_t target, std::u16string_view name) {
  const std::string nameBytes = ToCesu8(name);
  HasData data{target, &nameBytes, false};
  const Entry entry(*heap.limits_);
  const bool done = duk_safe_call(heap.ctx_, HasProperty, &data, 0, 1) == DUK_EXEC_SUCCESS;
  duk_pop(heap.ctx_);
  return done && data.found;
}

ScriptHeap::ScriptHeap() : limits_(std::make_unique<HeapLimits>()) {}

namespace {
duk_ret_t StartHeap(duk_context* ctx, void* udata) {
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, udata);
  duk_put_prop_string(ctx, -2, kHeapKey);
  duk_pop(ctx);
  InstallDateForms(ctx);
  duk_get_global_string(ctx, "Duktape");
  duk_push_c_function(ctx, NoteThrow, 1);
  duk_put_prop_string(ctx, -2, "errThrow");
  duk_pop(ctx);
  return 0;
}
}  // namespace

std::shared_ptr<ScriptHeap> ScriptHeap::Make() {
  std::shared_ptr<ScriptHeap> heap(new ScriptHeap());
  heap->ctx_ = duk_create_heap(Allocate, Reallocate, Free, heap->limits_.get(), Fatal);
  if (heap->ctx_ == nullptr) return nullptr;
  {
    const Entry entry(*heap->limits_);
    const bool started = duk_safe_call(heap->ctx_, StartHeap, heap.get(), 0, 1) == DUK_EXEC_SUCCESS;
    duk_pop(heap->ctx_);
    if (!started) return nullptr;
  }
  for (const ProcedureInfo& builtin : heap->Procedures()) heap->builtins_.push_back(ToCesu8(builtin.name));
  return heap;
}

ScriptHeap::~ScriptHeap() {
  if (ctx_ == nullptr) return;
  // Finalizers run now, within the same time limit.
  const Entry entry(*limits_);
  duk_destroy_heap(ctx_);
}

void ScriptHeap::SetTimeout(std::int32_t milliseconds) { limits_->timeout = milliseconds; }

bool ScriptHeap::Run(std::u16string_view code, bool expression, Variant* result, ScriptError& error) {
  const int number = nextChunk_++;
  // Functions outlive the call that defines them: their code stays at hand
  // for placing the errors they raise later.
  if (code.find(u"function") != std::u16string_view::npos) sources_.emplace(number, code);
  const std::string bytes = ToCesu8(code);
  const std::string name = std::to_string(number);
  CodeData data{&bytes, &name, expression ? DUK_COMPILE_EVAL : 0u, result != nullptr ? Access::ReserveKey(*this) : 0,
                false};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, RunCode, &data, 0, kOutcome);
  const Chunk chunk{code, number, data.compileFailed};
  return Access::ReadOutcome(*this, status, result, error, &chunk);
}

bool ScriptHeap::Execute(std::u16string_view code, ScriptError& error) { return Run(code, false, nullptr, error); }

bool ScriptHeap::Evaluate(std::u16string_view expression, Variant& result, ScriptError& error) {
  return Run(expression, true, &result, error);
}

bool ScriptHeap::Call(std::u16string_view name, std::span<const Variant> args, Variant& result, ScriptError& error) {
  std::vector<Encoded> encoded;
  encoded.reserve(args.size());
  for (const Variant& arg : args) encoded.push_back(Access::Encode(*this, arg));
  const std::string nameBytes = ToCesu8(name);
  CallData data{&nameBytes, &encoded, Access::Context(*this), Access::ReserveKey(*this), false};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, CallProcedure, &data, 0, kOutcome);
  const bool ok = Access::ReadOutcome(*this, status, &result, error);
  if (!ok && data.unknownName && !limits_->expired && limits_->refused == 0) error.unknownName = true;
  return ok;
}

bool ScriptHeap::DefineObject(std::u16string_view name, const Object& object, bool addMembers, ScriptError& error) {
  const std::string nameBytes = ToCesu8(name);
  const std::size_t host = hostObjects_.size();
  hostObjects_.push_back(object);
  DefineData data{&nameBytes, host, object.IsEmpty() ? nullptr : object->GetTypeInfo(), addMembers};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, DefineGlobalObject, &data, 0, kOutcome);
  return Access::ReadOutcome(*this, status, nullptr, error);
}

std::vector<ProcedureInfo> ScriptHeap::Procedures() {
  std::vector<ProcedureInfo> procedures;
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, ListProcedures, &builtins_, 0, kOutcome);
  const duk_idx_t base = duk_get_top(ctx_) - kOutcome;
  if (status == DUK_EXEC_SUCCESS && duk_get_boolean(ctx_, base) != 0) {
    // The list is an array of our own making: name, argument count, ...
    const auto length = static_cast<duk_uarridx_t>(duk_get_length(ctx_, base + 1));
    for (duk_uarridx_t i = 0; i + 1 < length; i += 2) {
      duk_get_prop_index(ctx_, base + 1, i);
      duk_size_t nameLength = 0;
      const char* name = duk_get_lstring(ctx_, -1, &nameLength);
      duk_get_prop_index(ctx_, base + 1, i + 1);
      procedures.push_back({FromCesu8(name, nameLength), duk_get_int(ctx_, -1)});
      duk_pop_2(ctx_);
    }
  }
  duk_pop_n(ctx_, kOutcome);
  return procedures;
}

namespace {
duk_ret_t PushGlobal(duk_context* ctx, void* udata) {
  duk_push_global_object(ctx);
  return ValueOutcome(ctx, *static_cast<const duk_uarridx_t*>(udata));
}
}  // namespace

Object ScriptHeap::GlobalObject() {
  const duk_uarridx_t key = Access::ReserveKey(*this);
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, PushGlobal, const_cast<duk_uarridx_t*>(&key), 0, kOutcome);
  Variant result;
  ScriptError error;
  Access::ReadOutcome(*this, status, &result, error);
  return result.ObjectValue();
}

}  // namespace rankora::components::script
