#include "components/script/script_values.h"

#include <duktape.h>

#include <cstring>
#include <type_traits>

#include "automation/name.h"
#include "components/script/script_date.h"
#include "components/script/script_errors.h"

// The header names Duktape's types by what they are here.
static_assert(std::is_same_v<duk_idx_t, int> && std::is_same_v<duk_int_t, int> && std::is_same_v<duk_ret_t, int>);
static_assert(std::is_same_v<duk_uarridx_t, unsigned> && std::is_same_v<duk_context, duk_hthread>);

namespace rankora::components::script {

using namespace automation;

namespace {

// Four UTF-16 units at a time: true when none is above 0x7F.
bool FourAscii(const char16_t* units) {
  std::uint64_t word = 0;
  std::memcpy(&word, units, sizeof word);
  return (word & 0xFF80FF80FF80FF80ULL) == 0;
}

void PutInStash(duk_context* ctx, duk_uarridx_t key) {
  // [... value] -> [... value]
  duk_push_heap_stash(ctx);
  duk_dup(ctx, -2);
  duk_put_prop_index(ctx, -2, key);
  duk_pop(ctx);
}

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

// Frees the array a wrapper carries, when Duktape is done with the wrapper.
duk_ret_t FreeArray(duk_context* ctx) {
  duk_get_prop_string(ctx, 0, kArrayKey);
  auto* array = static_cast<Variant*>(duk_get_pointer(ctx, -1));
  duk_pop(ctx);
  duk_del_prop_string(ctx, 0, kArrayKey);
  delete array;
  return 0;
}

void PushTrampoline(duk_context* ctx, std::size_t host, const std::string& name, HostOp op) {
  duk_push_c_function(ctx, HostTrampoline, DUK_VARARGS);
  duk_push_uint(ctx, static_cast<duk_uint_t>(host));
  duk_put_prop_string(ctx, -2, kMemberHostKey);
  duk_push_int(ctx, static_cast<int>(op));
  duk_put_prop_string(ctx, -2, kOpKey);
  duk_push_lstring(ctx, name.data(), name.size());
  duk_put_prop_string(ctx, -2, kNameKey);
}

}  // namespace

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

bool IsObjectLike(duk_context* ctx, duk_idx_t index) {
  return duk_check_type_mask(ctx, index, DUK_TYPE_MASK_OBJECT | DUK_TYPE_MASK_LIGHTFUNC | DUK_TYPE_MASK_BUFFER) != 0;
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

duk_ret_t ClassifyValue(duk_context* ctx, void* udata) {
  const auto* data = static_cast<const ClassifyData*>(udata);
  duk_dup(ctx, data->index);
  const Form form = Classify(ctx, data->key);
  duk_remove(ctx, -2);
  duk_push_int(ctx, static_cast<int>(form));
  return 2;
}

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

}  // namespace rankora::components::script
