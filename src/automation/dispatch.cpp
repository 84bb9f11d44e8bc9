#include "automation/dispatch.h"

#include <new>

#include "automation/convert.h"
#include "automation/platform_classes.h"
#include "automation/registry.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

thread_local CallState lastCall;

enum class Operation { Read, Call, Write };

// The kinds each operation binds under, in order.
std::span<const InvokeKind> BindingOrder(Operation operation) {
  static constexpr InvokeKind kRead[] = {InvokeKind::PropertyGet, InvokeKind::Method};
  static constexpr InvokeKind kCall[] = {InvokeKind::Method, InvokeKind::PropertyGet, InvokeKind::PropertyPut,
                                         InvokeKind::PropertyPutRef};
  static constexpr InvokeKind kWrite[] = {InvokeKind::PropertyPut, InvokeKind::PropertyPutRef, InvokeKind::Method};
  switch (operation) {
    case Operation::Read:
      return kRead;
    case Operation::Call:
      return kCall;
    case Operation::Write:
      break;
  }
  return kWrite;
}

bool IsObjectOrArray(VarType type) { return type == VT_DISPATCH || type == VT_UNKNOWN || (type & VT_ARRAY) != 0; }

HRESULT Fail(HRESULT code) {
  lastCall.code = code;
  return code;
}

// Converts one argument for its declared parameter, into `converted`; the
// value passed is `passed` (a reference to `converted` for a by-reference
// parameter).
HRESULT PrepareArgument(const ParamDesc* param, Variant&& value, Variant& converted, Variant& passed) {
  if (value.IsMissing()) {
    if (param != nullptr && !param->optional) return DISP_E_PARAMNOTFOUND;
    passed = std::move(value);
    return S_OK;
  }
  if (param == nullptr || param->type == VT_VARIANT) {
    converted = std::move(value);
  } else {
    const HRESULT code = ChangeType(value, param->type, converted);
    if (Failed(code)) return code;
  }
  if (param != nullptr && param->byRef) {
    passed = Variant::ByRef(converted, param->type);
  } else {
    passed = std::move(converted);
  }
  return S_OK;
}

bool IsVariantArray(const ParamDesc& param) { return param.type == (VT_ARRAY | VT_VARIANT); }

// Whether the arguments from the last declared one on (or none) go packed
// into the member's trailing array of variants. An array of variants given
// in that place alone is passed as it is.
bool PacksTrailing(const std::vector<ParamDesc>& params, bool put, std::span<const Arg> leading) {
  const std::size_t declared = params.size();
  if (put || declared == 0 || !IsVariantArray(params.back())) return false;
  if (leading.size() + 1 == declared) return true;
  if (leading.size() != declared) return leading.size() > declared;
  Variant last;
  return Succeeded(leading.back().ToVariant(last)) && last.Deref().Type() != (VT_ARRAY | VT_VARIANT);
}

// The one call, with no C++ exception leaving the component.
HRESULT CallComponent(const Object& object, DispId id, InvokeKind kind, std::span<Variant> passed, Variant& result) {
  CallArgs callArgs(passed);
  ExcepInfo excep;
  HRESULT code = E_FAIL;
  try {
    code = object->Invoke(id, kind, callArgs, result, excep);
  } catch (const std::bad_alloc&) {
    code = E_OUTOFMEMORY;
  } catch (...) {
    code = E_FAIL;
  }
  if (Failed(code)) {
    result.Clear();
    lastCall.excep = std::move(excep);
    return Fail(code);
  }
  // Calls the component made on its own account do not speak for this one.
  lastCall = CallState{};
  return S_OK;
}

// A component without type information that answers names itself: the
// operation's first kind, the arguments as given.
HRESULT InvokeByIdOfName(const Object& object, std::string_view name, Operation operation, std::span<const Arg> args,
                         Variant& result) {
  DispId id = 0;
  HRESULT code = E_FAIL;
  try {
    code = object->GetIdOfName(text::ToUtf16(name), id);
  } catch (...) {
    code = E_FAIL;
  }
  if (Failed(code)) return Fail(code == E_NOTIMPL ? E_NOTIMPL : DISP_E_UNKNOWNNAME);
  const InvokeKind kind = BindingOrder(operation).front();
  std::span<const Arg> given = args;
  if (operation != Operation::Write) {
    while (!given.empty() && !given.back().IsGiven()) given = given.first(given.size() - 1);
  } else if (given.empty()) {
    return Fail(DISP_E_BADPARAMCOUNT);
  }
  std::vector<Variant> passed(given.size());
  for (std::size_t i = 0; i < given.size(); ++i) {
    const HRESULT converted = given[i].ToVariant(passed[i]);
    if (Failed(converted)) return Fail(converted);
  }
  return CallComponent(object, id, kind, passed, result);
}

// Binds `name` for `operation`, converts the arguments, makes the one call.
HRESULT Invoke(const Object& object, std::string_view name, Operation operation, std::span<const Arg> args,
               Variant& result) {
  lastCall = CallState{};
  if (object.IsEmpty()) return Fail(E_POINTER);
  if (!object->HasTypeInfo()) return InvokeByIdOfName(object, name, operation, args, result);

  const MemberDesc* member = nullptr;
  InvokeKind boundAs = InvokeKind::Method;
  for (const InvokeKind kind : BindingOrder(operation)) {
    try {
      member = object->Bind(name, kind);
    } catch (...) {
      member = nullptr;
    }
    if (member != nullptr) {
      boundAs = kind;
      break;
    }
  }
  if (member == nullptr) return Fail(DISP_E_UNKNOWNNAME);

  InvokeKind kind = member->kind;
  if (member->variable) {
    const bool write = operation == Operation::Write;
    kind = !write ? InvokeKind::PropertyGet
                  : (IsObjectOrArray(member->type) ? InvokeKind::PropertyPutRef : InvokeKind::PropertyPut);
  } else {
    kind = boundAs;
  }
  const bool put = kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef;

  // A put's value is its last argument; only the arguments before it are
  // dropped when not given at the end.
  std::span<const Arg> leading = args;
  const Arg* putValue = nullptr;
  if (put) {
    if (args.empty()) return Fail(DISP_E_BADPARAMCOUNT);
    putValue = &args.back();
    leading = args.first(args.size() - 1);
  }
  while (!leading.empty() && !leading.back().IsGiven()) leading = leading.first(leading.size() - 1);

  // The declared parameters: a variable takes no index; written, its value.
  std::vector<ParamDesc> variableValue;
  const std::vector<ParamDesc>* params = &member->params;
  if (member->variable && put) {
    variableValue.push_back(ParamDesc{member->type, false, false});
    params = &variableValue;
  }
  // A member whose last declared parameter is an array of variants takes the
  // trailing arguments packed into that array, as the platform's dispatcher
  // packs them for a variable list. Packing them here makes the call the
  // same whether or not the member's type information marks the list as
  // variable, and whether or not the callee's own dispatcher would pack.
  const std::size_t declared = params->size();
  std::vector<Arg> packedList;
  if (PacksTrailing(*params, put, leading)) {
    std::vector<Variant> items;
    for (std::size_t i = declared - 1; i < leading.size(); ++i) {
      Variant item;
      const HRESULT code = leading[i].ToVariant(item);
      if (Failed(code)) return Fail(code);
      items.push_back(std::move(item));
    }
    packedList.assign(leading.begin(), leading.begin() + static_cast<std::ptrdiff_t>(declared - 1));
    packedList.emplace_back(Variant::Array(SafeArray::Variants(std::move(items))));
    leading = packedList;
  }
  const std::size_t count = leading.size() + (putValue != nullptr ? 1 : 0);
  if (count > declared && !member->varArgs) return Fail(DISP_E_BADPARAMCOUNT);
  std::size_t required = 0;
  for (const ParamDesc& param : *params) required += param.optional ? 0 : 1;
  if (count < required) return Fail(DISP_E_BADPARAMCOUNT);

  std::vector<Variant> converted(count);
  std::vector<Variant> passed(count);
  for (std::size_t i = 0; i < count; ++i) {
    const bool isValue = putValue != nullptr && i == count - 1;
    // A put's value goes to the last declared parameter.
    const std::size_t paramIndex = isValue ? declared - 1 : i;
    const ParamDesc* param = paramIndex < declared ? &(*params)[paramIndex] : nullptr;
    Variant value;
    const HRESULT code = (isValue ? *putValue : leading[i]).ToVariant(value);
    if (Failed(code)) return Fail(code);
    const HRESULT prepared = PrepareArgument(param, std::move(value), converted[i], passed[i]);
    if (Failed(prepared)) return Fail(prepared);
  }
  return CallComponent(object, member->id, kind, passed, result);
}

// The call's result in the requested kind, or the code of a failed conversion.
template <typename T>
T Convert(HRESULT code, const Variant& result, VarType type, T empty, T (*read)(const Variant&)) {
  if (Failed(code)) return empty;
  Variant converted;
  const HRESULT conversion = ChangeType(result, type, converted);
  if (Failed(conversion)) {
    Fail(conversion);
    return empty;
  }
  return read(converted);
}

std::string ReadText(const Variant& v) { return ProgramText(v.TextValue()); }
double ReadDouble(const Variant& v) { return v.Real(); }
bool ReadBool(const Variant& v) { return v.BoolValue(); }
Object ReadObject(const Variant& v) { return v.ObjectValue(); }

std::string TextResult(const Object& object, std::string_view name, Operation operation, ArgList args) {
  Variant result;
  const HRESULT code = Invoke(object, name, operation, args.Span(), result);
  return Convert<std::string>(code, result, VT_BSTR, {}, ReadText);
}

double NumberResult(const Object& object, std::string_view name, Operation operation, ArgList args) {
  Variant result;
  const HRESULT code = Invoke(object, name, operation, args.Span(), result);
  return Convert<double>(code, result, VT_R8, 0.0, ReadDouble);
}

bool BoolResult(const Object& object, std::string_view name, Operation operation, ArgList args) {
  Variant result;
  const HRESULT code = Invoke(object, name, operation, args.Span(), result);
  return Convert<bool>(code, result, VT_BOOL, false, ReadBool);
}

Object ObjectResult(const Object& object, std::string_view name, Operation operation, ArgList args) {
  Variant result;
  const HRESULT code = Invoke(object, name, operation, args.Span(), result);
  return Convert<Object>(code, result, VT_DISPATCH, {}, ReadObject);
}

Variant VariantResult(const Object& object, std::string_view name, Operation operation, ArgList args) {
  Variant result;
  if (Failed(Invoke(object, name, operation, args.Span(), result))) return {};
  return result;
}

// The platform's answers for a class it cannot provide at all.
bool IsAbsentClass(HRESULT code) {
  return code == CO_E_CLASSSTRING || code == REGDB_E_CLASSNOTREG || code == CO_E_DLLNOTFOUND ||
         code == CO_E_ERRORINDLL || code == kModuleNotFound || code == kFileNotFound || code == TYPE_E_CANTLOADLIBRARY;
}

// An in-house component of the layer's registry.
HRESULT CreateRegistered(std::string_view name, const std::string* typeLibraryFile, Object& created) {
  const bool byClsid = !name.empty() && name.front() == '{';
  // In-house classes have no type libraries.
  if (typeLibraryFile != nullptr && !byClsid) return TYPE_E_CANTLOADLIBRARY;
  std::string clsid;
  HRESULT code = byClsid ? ClsidFromString(name, clsid) : ClsidFromProgId(name, clsid);
  if (Succeeded(code)) code = CreateInstance(clsid, created);
  return code;
}

// Creates by name: the platform's class where the platform has one; the
// registry's in-house component where the platform has no such class or the
// class's module is gone. `inHouse`, when given, tells which answered.
HRESULT CreateEither(std::string_view name, const std::string* typeLibraryFile, Object& created, bool* inHouse) {
  HRESULT code = WithheldCode(name);
  if (Failed(code)) return code;
  if (IsInHouseFirst()) {
    code = CreateRegistered(name, typeLibraryFile, created);
    if (!IsAbsentClass(code)) {
      if (inHouse != nullptr) *inHouse = Succeeded(code);
      return code;
    }
  }
  code = CreatePlatformObject(name, typeLibraryFile, created);
  if (!IsAbsentClass(code)) return code;
  const HRESULT registered = CreateRegistered(name, typeLibraryFile, created);
  if (inHouse != nullptr) *inHouse = Succeeded(registered);
  // Where the registry has no such class either, its answer stands for a
  // class nobody knows, the platform's for a class whose module is gone.
  if (!IsAbsentClass(registered) || code == CO_E_CLASSSTRING || code == REGDB_E_CLASSNOTREG) code = registered;
  return code;
}

}  // namespace

Provider WhoProvides(std::string_view progId, HRESULT* code) {
  Object created;
  bool inHouse = false;
  const HRESULT result = CreateEither(progId, nullptr, created, &inHouse);
  if (code != nullptr) *code = result;
  if (Failed(result)) return Provider::kNone;
  return inHouse ? Provider::kInHouse : Provider::kPlatform;
}

HRESULT Arg::ToVariant(Variant& out) const {
  struct Visitor {
    Variant& out;
    HRESULT operator()(NotGiven) const {
      out = Variant::Missing();
      return S_OK;
    }
    HRESULT operator()(const std::string& text) const {
      out = Variant::Text(text::ToUtf16(text));
      return S_OK;
    }
    HRESULT operator()(double value) const {
      out = Variant::R8(value);
      return S_OK;
    }
    HRESULT operator()(float value) const {
      out = Variant::R4(value);
      return S_OK;
    }
    HRESULT operator()(std::int32_t value) const {
      out = Variant::I4(value);
      return S_OK;
    }
    HRESULT operator()(std::int64_t value) const {
      // Passed as a 32-bit integer: its low 32 bits.
      out = Variant::I4(static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFF)));
      return S_OK;
    }
    HRESULT operator()(std::int16_t value) const {
      out = Variant::I2(value);
      return S_OK;
    }
    HRESULT operator()(std::uint8_t value) const {
      out = Variant::UI1(value);
      return S_OK;
    }
    HRESULT operator()(bool value) const {
      out = Variant::Bool(value);
      return S_OK;
    }
    HRESULT operator()(DateTime value) const {
      out = Variant::Date(value.value);
      return S_OK;
    }
    HRESULT operator()(const std::vector<std::uint8_t>& /*bytes*/) const { return DISP_E_BADVARTYPE; }
    HRESULT operator()(const Object& object) const {
      out = Variant::Dispatch(object);
      return S_OK;
    }
    HRESULT operator()(const Variant& variant) const {
      out = variant.Deref();
      return S_OK;
    }
    HRESULT operator()(const Variant* variant) const {
      out = variant->Deref();
      return S_OK;
    }
  };
  return std::visit(Visitor{out}, value_);
}

const CallState& LastCall() { return lastCall; }

void RecordLastCall(HRESULT code) { lastCall = CallState{code, {}}; }

bool Create(Object& object, std::string_view name, const std::string* typeLibraryFile) {
  lastCall = CallState{};
  Object created;
  const HRESULT code = CreateEither(name, typeLibraryFile, created, nullptr);
  if (Failed(code)) {
    Fail(code);
    return false;
  }
  object = std::move(created);
  return true;
}

std::string ReadTextProperty(const Object& object, std::string_view name, ArgList args) {
  return TextResult(object, name, Operation::Read, args);
}
double ReadNumberProperty(const Object& object, std::string_view name, ArgList args) {
  return NumberResult(object, name, Operation::Read, args);
}
bool ReadBoolProperty(const Object& object, std::string_view name, ArgList args) {
  return BoolResult(object, name, Operation::Read, args);
}
Object ReadObjectProperty(const Object& object, std::string_view name, ArgList args) {
  return ObjectResult(object, name, Operation::Read, args);
}
Variant ReadProperty(const Object& object, std::string_view name, ArgList args) {
  return VariantResult(object, name, Operation::Read, args);
}

void CallMethod(const Object& object, std::string_view name, ArgList args) {
  Variant ignored;
  Invoke(object, name, Operation::Call, args.Span(), ignored);
}
Variant CallVariantMethod(const Object& object, std::string_view name, ArgList args) {
  return VariantResult(object, name, Operation::Call, args);
}
std::string CallTextMethod(const Object& object, std::string_view name, ArgList args) {
  return TextResult(object, name, Operation::Call, args);
}
double CallNumberMethod(const Object& object, std::string_view name, ArgList args) {
  return NumberResult(object, name, Operation::Call, args);
}
bool CallBoolMethod(const Object& object, std::string_view name, ArgList args) {
  return BoolResult(object, name, Operation::Call, args);
}
Object CallObjectMethod(const Object& object, std::string_view name, ArgList args) {
  return ObjectResult(object, name, Operation::Call, args);
}

bool WriteProperty(const Object& object, std::string_view name, ArgList args) {
  Variant ignored;
  return Succeeded(Invoke(object, name, Operation::Write, args.Span(), ignored));
}

}  // namespace rankora::automation
