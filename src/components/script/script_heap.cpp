#include "components/script/script_heap.h"

#include <duktape.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "automation/dispatch.h"
#include "automation/name.h"
#include "text/gbk.h"

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
const char* const kDateKey = RANKORA_HIDDEN("rankoraDate");
const char* const kHostKey = RANKORA_HIDDEN("rankoraHost");      // on a wrapper: its host
const char* const kMemberHostKey = RANKORA_HIDDEN("rankoraOf");  // on a member function: its host
const char* const kOpKey = RANKORA_HIDDEN("rankoraOp");
const char* const kNameKey = RANKORA_HIDDEN("rankoraName");

// JScript's error numbers for the errors Duktape raises.
constexpr HRESULT kSyntaxError = MakeCode(0x800A03EA);
constexpr HRESULT kUndefinedError = MakeCode(0x800A1391);
constexpr HRESULT kObjectExpected = MakeCode(0x800A138F);
constexpr HRESULT kUncaught = MakeCode(0x800A139E);
constexpr HRESULT kOutOfMemory = MakeCode(0x800A0007);
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
  double number = 0;
  bool boolean = false;
  std::string bytes;
  std::size_t host = 0;
  std::uint32_t stash = 0;
  std::vector<Encoded> items;
};

double DateToMilliseconds(double date) {
  const double whole = std::trunc(date);
  const double days = whole + std::fabs(date - whole);
  return std::round((days - 25569.0) * 86400000.0);
}

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

// Protected calls for stash keeping from C++ (udata: the key, and for
// StashValue the value's index first).
struct StashData {
  duk_idx_t index;
  duk_uarridx_t key;
};

duk_ret_t StashValue(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const StashData*>(udata);
  duk_dup(ctx, data->index);
  PutInStash(ctx, data->key);
  return 0;
}

duk_ret_t DropFromStash(duk_context* ctx, void* udata) {
  duk_push_heap_stash(ctx);
  duk_del_prop_index(ctx, -1, *static_cast<const duk_uarridx_t*>(udata));
  return 0;
}

// Turns the error at the top into the outcome [false, name, message, line].
duk_ret_t ErrorOutcome(duk_context* ctx) {
  const duk_idx_t error = duk_get_top_index(ctx);
  duk_push_false(ctx);
  if (duk_is_error(ctx, error)) {
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
  return 4;
}

// How an outcome's value stands on the stack.
enum class Form : int { Plain = 0, Stashed = 1, Host = 2 };

bool IsHostWrapper(duk_context* ctx, duk_idx_t index) {
  // Hidden keys are out of reach of script code and of proxy traps.
  return duk_is_object(ctx, index) && duk_has_prop_string(ctx, index, kHostKey);
}

// Turns the value at the top into the outcome [true, value, form, -]: one of
// our wrappers stands as its host's index, another object is kept in the
// stash under `key` and stands as its key.
duk_ret_t ValueOutcome(duk_context* ctx, duk_uarridx_t key) {
  duk_push_true(ctx);
  duk_insert(ctx, -2);
  Form form = Form::Plain;
  if (key != 0 && IsHostWrapper(ctx, -1)) {
    duk_get_prop_string(ctx, -1, kHostKey);
    duk_remove(ctx, -2);
    form = Form::Host;
  } else if (key != 0 && IsObjectLike(ctx, -1)) {
    PutInStash(ctx, key);
    duk_pop(ctx);
    duk_push_uint(ctx, key);
    form = Form::Stashed;
  }
  duk_push_int(ctx, static_cast<int>(form));
  duk_push_undefined(ctx);
  return 4;
}

duk_ret_t Outcome(duk_context* ctx, duk_int_t status, duk_uarridx_t key) {
  return status == DUK_EXEC_SUCCESS ? ValueOutcome(ctx, key) : ErrorOutcome(ctx);
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

void Push(duk_context* ctx, const Encoded& value, const PushContext& context) {
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
      // The original Date constructor, whatever the script did to the global.
      duk_push_heap_stash(ctx);
      duk_get_prop_string(ctx, -1, kDateKey);
      duk_remove(ctx, -2);
      duk_push_number(ctx, value.number);
      duk_new(ctx, 1);
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
    case Encoded::Kind::Array: {
      duk_push_array(ctx);
      for (std::size_t i = 0; i < value.items.size(); ++i) {
        duk_push_uint(ctx, static_cast<duk_uint_t>(i));
        Push(ctx, value.items[i], context);
        duk_def_prop(ctx, -3, DUK_DEFPROP_HAVE_VALUE | DUK_DEFPROP_SET_WEC);
      }
      return;
    }
  }
}

ScriptError MakeError(std::u16string_view name, std::u16string description, int line, std::u16string_view code = {}) {
  ScriptError error;
  error.description = std::move(description);
  error.line = line;
  if (name == u"SyntaxError") {
    error.number = kSyntaxError;
    error.source = u"Microsoft JScript compilation error";
    // The text of the line the error is on.
    std::size_t start = 0;
    for (int l = 1; l < line && start != std::u16string_view::npos; ++l) {
      start = code.find(u'\n', start);
      if (start != std::u16string_view::npos) ++start;
    }
    if (start != std::u16string_view::npos && start <= code.size()) {
      std::u16string_view rest = code.substr(start);
      error.text = std::u16string(rest.substr(0, rest.find_first_of(u"\r\n")));
    }
  } else {
    error.number = name == u"ReferenceError" ? kUndefinedError : name == u"TypeError" ? kObjectExpected : kUncaught;
    error.source = u"Microsoft JScript runtime error";
  }
  return error;
}

ScriptError TimedOutError() {
  return ScriptError{
      kTimedOut, u"ScriptControl", u"This operation returned because the timeout period expired.", u"", 0, 0};
}

ScriptError OutOfMemoryError() {
  return ScriptError{kOutOfMemory, u"Microsoft JScript runtime error", u"Out of memory", u"", 0, 0};
}

}  // namespace

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
  static bool ValueAt(ScriptHeap& heap, duk_idx_t index, int form, Variant& value);

  // Reads the four outcome values that a protected call left and pops them.
  static bool ReadOutcome(ScriptHeap& heap, duk_int_t status, Variant* result, ScriptError& error,
                          std::u16string_view code = {});

  static bool AccessObject(ScriptHeap& heap, std::uint32_t target, std::u16string_view name, bool byValue,
                           InvokeKind kind, const std::vector<Encoded>& args, Variant& result, ScriptError& error);

  static Object Host(ScriptHeap& heap, std::size_t index) {
    return index < heap.hostObjects_.size() ? heap.hostObjects_[index] : Object();
  }

  static PushContext Context(ScriptHeap& heap) { return PushContext{&heap.hostObjects_}; }

  static duk_context* Ctx(ScriptHeap& heap) { return heap.ctx_; }

  // Without memory to spare, the entry stays until the heap ends.
  static void Unstash(ScriptHeap& heap, std::uint32_t key) {
    if (heap.ctx_ == nullptr) return;
    const Entry entry(*heap.limits_);
    duk_uarridx_t index = key;
    duk_safe_call(heap.ctx_, DropFromStash, &index, 0, 1);
    duk_pop(heap.ctx_);
  }
};

namespace {

// A script object seen from outside: it answers every name by looking it up
// on the object when called.
class ScriptObject final : public Component {
 public:
  ScriptObject(std::shared_ptr<ScriptHeap> heap, std::uint32_t key) : heap_(std::move(heap)), key_(key) {}
  ~ScriptObject() override { ScriptHeap::Access::Unstash(*heap_, key_); }

  const TypeInfo* GetTypeInfo() const override { return nullptr; }

  bool BelongsTo(const ScriptHeap* heap) const { return heap_.get() == heap; }
  std::uint32_t Key() const { return key_; }

  HRESULT GetIdOfName(std::u16string_view name, DispId& id) override {
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
  duk_uint_t flags;
  duk_uarridx_t key;
};

duk_ret_t RunCode(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const CodeData*>(udata);
  duk_push_lstring(ctx, data->code->data(), data->code->size());
  duk_push_string(ctx, "code");
  if (duk_pcompile(ctx, data->flags) != 0) return ErrorOutcome(ctx);
  return Outcome(ctx, duk_pcall(ctx, 0), data->key);
}

struct CallData {
  const std::string* name;
  const std::vector<Encoded>* args;
  PushContext context;
  duk_uarridx_t key;
};

duk_ret_t CallProcedure(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const CallData*>(udata);
  duk_push_global_object(ctx);
  duk_get_prop_lstring(ctx, -1, data->name->data(), data->name->size());
  if (!duk_is_callable(ctx, -1)) {
    duk_push_false(ctx);
    duk_push_string(ctx, "ReferenceError");
    duk_push_sprintf(ctx, "'%s' is undefined", data->name->c_str());
    duk_push_int(ctx, 0);
    return 4;
  }
  duk_require_stack(ctx, static_cast<duk_idx_t>(data->args->size()) + 8);
  for (const Encoded& arg : *data->args) Push(ctx, arg, data->context);
  return Outcome(ctx, duk_pcall(ctx, static_cast<duk_idx_t>(data->args->size())), data->key);
}

struct AccessData {
  duk_uarridx_t target;
  const std::string* name;
  bool byValue;
  InvokeKind kind;
  const std::vector<Encoded>* args;
  PushContext context;
  duk_uarridx_t key;
};

duk_ret_t AccessProperty(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const AccessData*>(udata);
  const auto argc = static_cast<duk_idx_t>(data->args->size());
  duk_require_stack(ctx, argc + 8);
  PushFromStash(ctx, data->target);
  const duk_idx_t object = duk_get_top_index(ctx);
  const bool put = data->kind == InvokeKind::PropertyPut || data->kind == InvokeKind::PropertyPutRef;
  if (data->byValue) {
    if (data->kind == InvokeKind::Method && duk_is_callable(ctx, object)) {
      for (const Encoded& arg : *data->args) Push(ctx, arg, data->context);
      return Outcome(ctx, duk_pcall(ctx, argc), data->key);
    }
    // An object's own value is its string form.
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
    for (const Encoded& arg : *data->args) Push(ctx, arg, data->context);
    return Outcome(ctx, duk_pcall_method(ctx, argc), data->key);
  }
  if (argc > 0) {
    duk_push_false(ctx);
    duk_push_string(ctx, "TypeError");
    duk_push_string(ctx, "Object doesn't support this property or method");
    duk_push_int(ctx, 0);
    return 4;
  }
  return ValueOutcome(ctx, data->key);
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

// A host call's failure, kept in plain storage.
struct HostCall {
  char message[512] = {};
  bool failed = false;
};

struct PushData {
  const Encoded* value;
  PushContext context;
};

duk_ret_t PushEncoded(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const PushData*>(udata);
  Push(ctx, *data->value, data->context);
  return 1;
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
      if (!ScriptHeap::Access::ValueAt(heap, i, 0, arg)) {
        std::snprintf(call.message, sizeof call.message, "Out of memory");
        call.failed = true;
        return;
      }
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
      const std::string description = text::ToUtf8(text::FromUtf16(state.excep.description));
      std::snprintf(call.message, sizeof call.message, "%s (0x%08X)",
                    description.empty() ? memberName.c_str() : description.c_str(),
                    static_cast<unsigned>(state.excep.code != 0 ? state.excep.code : state.code));
      call.failed = true;
      return;
    }
    const Encoded encoded = ScriptHeap::Access::Encode(heap, result);
    PushData data{&encoded, ScriptHeap::Access::Context(heap)};
    if (duk_safe_call(ctx, PushEncoded, &data, 0, 1) != DUK_EXEC_SUCCESS) {
      duk_pop(ctx);
      std::snprintf(call.message, sizeof call.message, "Out of memory");
      call.failed = true;
    }
  } catch (...) {
    std::snprintf(call.message, sizeof call.message, "%.*s failed", static_cast<int>(name.size()), name.data());
    call.failed = true;
  }
}

// Runs a host member for script. Only plain values live in this frame, so
// the script error raised here unwinds nothing that C++ would clean up.
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
  if (call.failed) return duk_error(ctx, DUK_ERR_ERROR, "%s", call.message);
  return 1;
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
      encoded.number = DateToMilliseconds(v.Real());
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
        // Arrays reach script as script arrays, in storage order.
        encoded.kind = Encoded::Kind::Array;
        const SafeArray& array = *v.ArrayValue();
        encoded.items.reserve(array.Size());
        for (std::size_t i = 0; i < array.Size(); ++i) encoded.items.push_back(Encode(heap, array.Get(i)));
      }
      break;
  }
  return encoded;
}

bool ScriptHeap::Access::ValueAt(ScriptHeap& heap, duk_idx_t index, int form, Variant& value) {
  duk_context* ctx = heap.ctx_;
  if (form == static_cast<int>(Form::Stashed)) {
    value = Variant::Dispatch(MakeObject<ScriptObject>(heap.shared_from_this(), duk_get_uint(ctx, index)));
    return true;
  }
  if (form == static_cast<int>(Form::Host)) {
    value = Variant::Dispatch(Host(heap, duk_get_uint(ctx, index)));
    return true;
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
    case DUK_TYPE_BUFFER: {
      // One of our own wrappers goes back as the object it wraps.
      if (IsHostWrapper(ctx, index)) {
        duk_get_prop_string(ctx, index, kHostKey);
        const auto host = static_cast<std::size_t>(duk_get_uint(ctx, -1));
        duk_pop(ctx);
        value = Variant::Dispatch(Host(heap, host));
        return true;
      }
      StashData data{duk_normalize_index(ctx, index), ReserveKey(heap)};
      const bool kept = duk_safe_call(ctx, StashValue, &data, 0, 1) == DUK_EXEC_SUCCESS;
      duk_pop(ctx);
      if (!kept) return false;
      value = Variant::Dispatch(MakeObject<ScriptObject>(heap.shared_from_this(), data.key));
      return true;
    }
    default:
      value = Variant();
      return true;
  }
}

bool ScriptHeap::Access::ReadOutcome(ScriptHeap& heap, duk_int_t status, Variant* result, ScriptError& error,
                                     std::u16string_view code) {
  duk_context* ctx = heap.ctx_;
  const duk_idx_t base = duk_get_top(ctx) - 4;
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
    duk_size_t length = 0;
    const char* message = duk_safe_to_lstring(ctx, base, &length);
    error = MakeError(u"Error", FromCesu8(message, length), 0);
  } else if (duk_get_boolean(ctx, base) != 0) {
    ok = result == nullptr || ValueAt(heap, base + 1, duk_get_int(ctx, base + 2), *result);
    if (!ok) error = OutOfMemoryError();
  } else {
    duk_size_t nameLength = 0;
    const char* name = duk_get_lstring(ctx, base + 1, &nameLength);
    duk_size_t messageLength = 0;
    const char* message = duk_get_lstring(ctx, base + 2, &messageLength);
    error = MakeError(FromCesu8(name, nameLength), FromCesu8(message, messageLength), duk_get_int(ctx, base + 3), code);
  }
  duk_pop_n(ctx, 4);
  return ok;
}

bool ScriptHeap::Access::AccessObject(ScriptHeap& heap, std::uint32_t target, std::u16string_view name, bool byValue,
                                      InvokeKind kind, const std::vector<Encoded>& args, Variant& result,
                                      ScriptError& error) {
  const std::string nameBytes = ToCesu8(name);
  AccessData data{target, &nameBytes, byValue, kind, &args, Context(heap), ReserveKey(heap)};
  const Entry entry(*heap.limits_);
  const duk_int_t status = duk_safe_call(heap.ctx_, AccessProperty, &data, 0, 4);
  return ReadOutcome(heap, status, &result, error);
}

ScriptHeap::ScriptHeap() : limits_(std::make_unique<HeapLimits>()) {}

namespace {
duk_ret_t StartHeap(duk_context* ctx, void* udata) {
  duk_push_heap_stash(ctx);
  duk_push_pointer(ctx, udata);
  duk_put_prop_string(ctx, -2, kHeapKey);
  duk_get_global_string(ctx, "Date");
  duk_put_prop_string(ctx, -2, kDateKey);
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
  // Finalizers that script set run now, within the same time limit.
  const Entry entry(*limits_);
  duk_destroy_heap(ctx_);
}

void ScriptHeap::SetTimeout(std::int32_t milliseconds) { limits_->timeout = milliseconds; }

bool ScriptHeap::Execute(std::u16string_view code, ScriptError& error) {
  const std::string bytes = ToCesu8(code);
  CodeData data{&bytes, 0, 0};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, RunCode, &data, 0, 4);
  return Access::ReadOutcome(*this, status, nullptr, error, code);
}

bool ScriptHeap::Evaluate(std::u16string_view expression, Variant& result, ScriptError& error) {
  const std::string bytes = ToCesu8(expression);
  CodeData data{&bytes, DUK_COMPILE_EVAL, Access::ReserveKey(*this)};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, RunCode, &data, 0, 4);
  return Access::ReadOutcome(*this, status, &result, error, expression);
}

bool ScriptHeap::Call(std::u16string_view name, std::span<const Variant> args, Variant& result, ScriptError& error) {
  std::vector<Encoded> encoded;
  encoded.reserve(args.size());
  for (const Variant& arg : args) encoded.push_back(Access::Encode(*this, arg));
  const std::string nameBytes = ToCesu8(name);
  CallData data{&nameBytes, &encoded, Access::Context(*this), Access::ReserveKey(*this)};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, CallProcedure, &data, 0, 4);
  return Access::ReadOutcome(*this, status, &result, error);
}

bool ScriptHeap::DefineObject(std::u16string_view name, const Object& object, bool addMembers, ScriptError& error) {
  const std::string nameBytes = ToCesu8(name);
  const std::size_t host = hostObjects_.size();
  hostObjects_.push_back(object);
  DefineData data{&nameBytes, host, object.IsEmpty() ? nullptr : object->GetTypeInfo(), addMembers};
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, DefineGlobalObject, &data, 0, 4);
  return Access::ReadOutcome(*this, status, nullptr, error);
}

std::vector<ProcedureInfo> ScriptHeap::Procedures() {
  std::vector<ProcedureInfo> procedures;
  const Entry entry(*limits_);
  const duk_int_t status = duk_safe_call(ctx_, ListProcedures, &builtins_, 0, 4);
  const duk_idx_t base = duk_get_top(ctx_) - 4;
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
  duk_pop_n(ctx_, 4);
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
  const duk_int_t status = duk_safe_call(ctx_, PushGlobal, const_cast<duk_uarridx_t*>(&key), 0, 4);
  Variant result;
  ScriptError error;
  Access::ReadOutcome(*this, status, &result, error);
  return result.ObjectValue();
}

}  // namespace rankora::components::script
