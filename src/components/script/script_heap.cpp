#include "components/script/script_heap.h"

#include <duktape.h>

#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "automation/convert.h"
#include "automation/dispatch.h"
#include "automation/name.h"
#include "components/script/script_calls.h"
#include "components/script/script_errors.h"
#include "components/script/script_heap_access.h"
#include "components/script/script_heap_limits.h"
#include "components/script/script_heap_pool.h"
#include "components/script/script_places.h"

namespace rankora::components::script {

using namespace automation;

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

}  // namespace

ScriptHeap* ScriptHeap::Access::FromContext(duk_context* ctx) {
  duk_memory_functions functions;
  duk_get_memory_functions(ctx, &functions);
  return static_cast<HeapLimits*>(functions.udata)->owner;
}

// Without memory to spare, the entry stays until the heap ends.
void ScriptHeap::Access::Unstash(ScriptHeap& heap, std::uint32_t key) {
  if (heap.ctx_ == nullptr) return;
  const Entry entry(*heap.limits_);
  duk_uarridx_t index = key;
  duk_safe_call(heap.ctx_, DropFromStash, &index, 0, 1);
  duk_pop(heap.ctx_);
}

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
      if (double number = 0; NumericValue(v, number)) {
        encoded.kind = Encoded::Kind::Number;
        encoded.number = number;
      } else if (v.IsArray() && v.ArrayValue() != nullptr) {
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

ScriptHeap::ScriptHeap() = default;

std::shared_ptr<ScriptHeap> ScriptHeap::Make() {
  std::shared_ptr<ScriptHeap> heap(new ScriptHeap());
  heap->pooled_ = TakeHeap(heap.get());
  if (heap->pooled_ == nullptr) return nullptr;
  heap->ctx_ = heap->pooled_->ctx;
  heap->limits_ = heap->pooled_->limits.get();
  if (!heap->pooled_->listed) {
    // Before any code, every global function is a builtin.
    for (const ProcedureInfo& builtin : heap->Procedures()) heap->pooled_->builtins.push_back(ToCesu8(builtin.name));
    heap->pooled_->listed = true;
  }
  return heap;
}

// What this control added to the heap goes, within its time limit, and the
// heap serves the next control.
ScriptHeap::~ScriptHeap() { GiveBack(std::move(pooled_)); }

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
  const duk_int_t status = duk_safe_call(ctx_, ListProcedures, &pooled_->builtins, 0, kOutcome);
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
