#include "probe_component.h"

#include <stdexcept>

#include "automation/registry.h"

namespace rankora::testing {

using namespace automation;

const TypeInfo* Probe::GetTypeInfo() const {
  const ParamDesc any{};
  const ParamDesc optional{VT_VARIANT, true, false};
  static const TypeInfo info({
      {"Value", kValue, false, InvokeKind::PropertyGet, VT_R8, {}, false},
      {"Value", kValue, false, InvokeKind::PropertyPut, VT_EMPTY, {ParamDesc{VT_R8, false, false}}, false},
      {"Echo", kEcho, false, InvokeKind::Method, VT_VARIANT, {any}, false},
      {"Typed",
       kTyped,
       false,
       InvokeKind::Method,
       VT_BSTR,
       {ParamDesc{VT_I4, false, false}, ParamDesc{VT_R8, false, false}, ParamDesc{VT_BSTR, false, false},
        ParamDesc{VT_BOOL, false, false}},
       false},
      {"Optional", kOptional, false, InvokeKind::Method, VT_I4, {any, optional, optional}, false},
      {"ByRef", kByRef, false, InvokeKind::Method, VT_I4, {ParamDesc{VT_I4, false, true}}, false},
      {"VarArgs", kVarArgs, false, InvokeKind::Method, VT_I4, {any}, true},
      {"Name", kName, true, InvokeKind::PropertyGet, VT_BSTR, {}, false},
      {"Child", kChild, true, InvokeKind::PropertyGet, VT_DISPATCH, {}, false},
      {"Values", kValues, true, InvokeKind::PropertyGet, VT_ARRAY | VT_VARIANT, {}, false},
      {"Both", kBoth, false, InvokeKind::Method, VT_BSTR, {}, false},
      {"Both", kBoth, false, InvokeKind::PropertyGet, VT_BSTR, {}, false},
      {"Sink", kSink, false, InvokeKind::PropertyPut, VT_EMPTY, {any}, false},
      {"Fail", kFail, false, InvokeKind::Method, VT_EMPTY, {}, false},
      {"Throw", kThrow, false, InvokeKind::Method, VT_EMPTY, {}, false},
      {"Packed",
       kPacked,
       false,
       InvokeKind::Method,
       VT_I4,
       {ParamDesc{VT_BSTR, false, false}, ParamDesc{VT_ARRAY | VT_VARIANT, false, true}},
       false},
  });
  return &info;
}

HRESULT Probe::Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) {
  Call call{id, kind, {}, {}};
  for (std::size_t i = 0; i < args.Count(); ++i) {
    call.types.push_back(args.Raw(i).Type());
    call.values.push_back(args[i]);
  }
  calls.push_back(std::move(call));
  const bool get = kind == InvokeKind::PropertyGet;
  switch (id) {
    case kValue:
      if (get) {
        result = Variant::R8(value);
      } else {
        value = args[0].Real();
      }
      return S_OK;
    case kEcho:
      result = args[0];
      return S_OK;
    case kTyped:
    case kOptional:
    case kVarArgs:
      result = Variant::I4(static_cast<std::int32_t>(args.Count()));
      return S_OK;
    case kByRef: {
      Variant& target = args.Raw(0).Deref();
      target = Variant::I4(static_cast<std::int32_t>(target.Signed() + 1));
      result = target;
      return S_OK;
    }
    case kName:
    case kChild:
    case kValues: {
      Variant& field = id == kName ? name : id == kChild ? child : values;
      if (get) {
        result = field;
      } else {
        field = args[0];
      }
      return S_OK;
    }
    case kBoth:
      result = Variant::Text(get ? u"property" : u"method");
      return S_OK;
    case kSink:
      return S_OK;
    case kFail:
      return Raise(excep, MakeCode(0x800A0005), u"Invalid procedure call or argument", u"Probe");
    case kPacked: {
      const SafeArray* array = args[1].ArrayValue();
      result = Variant::I4(array == nullptr ? -1 : static_cast<std::int32_t>(array->Size()));
      return S_OK;
    }
    case kThrow:
      throw std::runtime_error("thrown inside a component");
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

Probe& ProbeOf(const Object& object) { return *static_cast<Probe*>(object.Get()); }

namespace {

class Opaque final : public Component {
 public:
  const TypeInfo* GetTypeInfo() const override { return nullptr; }
  HRESULT Invoke(DispId, InvokeKind, CallArgs&, Variant&, ExcepInfo&) override { return S_OK; }
};

const ClassRegistration probe(kProbeClsid, {kProbeProgId}, [] { return MakeObject<Probe>(); });
const ClassRegistration opaque("{00000000-0000-0000-0000-00000000000A}", {kOpaqueProgId},
                               [] { return MakeObject<Opaque>(); });

}  // namespace
}  // namespace rankora::testing
