#include "components/script/script_calls.h"

#include <duktape.h>

#include <algorithm>
#include <cstdio>
#include <span>
#include <string_view>

#include "automation/dispatch.h"
#include "components/script/script_date.h"
#include "components/script/script_errors.h"
#include "components/script/script_heap_access.h"
#include "components/script/script_heap_limits.h"
#include "components/script/script_places.h"

namespace rankora::components::script {

using namespace automation;

namespace {

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

}  // namespace

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

duk_ret_t HasProperty(duk_context* ctx, void* udata) {
  auto* data = static_cast<HasData*>(udata);
  PushFromStash(ctx, data->target);
  data->found = duk_is_object(ctx, -1) && duk_has_prop_lstring(ctx, -1, data->name->data(), data->name->size());
  return 0;
}

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

duk_ret_t StartHeap(duk_context* ctx, void* /*udata*/) {
  InstallDateForms(ctx);
  duk_get_global_string(ctx, "Duktape");
  duk_push_c_function(ctx, NoteThrow, 1);
  duk_put_prop_string(ctx, -2, "errThrow");
  duk_pop(ctx);
  return 0;
}

duk_ret_t PushGlobal(duk_context* ctx, void* udata) {
  duk_push_global_object(ctx);
  return ValueOutcome(ctx, *static_cast<const duk_uarridx_t*>(udata));
}

}  // namespace rankora::components::script
