#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/com/com_bridge.h"
#include "automation/com/com_owners.h"
#include "automation/component.h"
#include "automation/name.h"
#include "text/gbk.h"

namespace rankora::automation::com {
namespace {

// A parameter's declared type as the layer's calls need it: a pointer is a
// by-reference parameter of the type it points at; a SAFEARRAY is an array
// of its element type; types the layer cannot name take any value.
ParamDesc ParamOf(const ELEMDESC& element) {
  ParamDesc param;
  const TYPEDESC* type = &element.tdesc;
  if (type->vt == VT_PTR && type->lptdesc != nullptr) {
    type = type->lptdesc;
    // A pointer to an interface of its own kind is the interface, by value.
    param.byRef = type->vt != VT_USERDEFINED;
  }
  if (type->vt == VT_SAFEARRAY && type->lptdesc != nullptr) {
    param.type = static_cast<VarType>(VT_ARRAY | type->lptdesc->vt);
  } else if (type->vt == VT_USERDEFINED || type->vt == VT_PTR || type->vt == VT_VOID || type->vt == VT_HRESULT) {
    param.type = VT_VARIANT;
    param.byRef = false;
  } else {
    param.type = type->vt;
  }
  const USHORT flags = element.paramdesc.wParamFlags;
  param.optional = (flags & (PARAMFLAG_FOPT | PARAMFLAG_FHASDEFAULT)) != 0;
  return param;
}

MemberDesc MemberOf(std::string_view name, const FUNCDESC& function) {
  MemberDesc member;
  member.name = std::string(name);
  member.id = function.memid;
  member.kind = static_cast<InvokeKind>(function.invkind);
  member.type = function.elemdescFunc.tdesc.vt;
  const SHORT count = function.cParams;
  const SHORT optionalCount = function.cParamsOpt;
  // The dispatch view passes neither the result nor the locale.
  std::vector<ParamDesc> params;
  for (SHORT i = 0; i < count; ++i) {
    const ELEMDESC& element = function.lprgelemdescParam[i];
    const USHORT flags = element.paramdesc.wParamFlags;
    if ((flags & PARAMFLAG_FRETVAL) != 0) {
      member.type = ParamOf(element).type;
      continue;
    }
    if ((flags & PARAMFLAG_FLCID) != 0) continue;
    params.push_back(ParamOf(element));
  }
  if (optionalCount == -1 && !params.empty()) {
    // A variable list: its trailing array stays declared, and the layer's
    // dispatcher packs the trailing arguments into it.
    member.varArgs = true;
  } else if (optionalCount > 0) {
    const auto first = params.size() > static_cast<std::size_t>(optionalCount) ? params.size() - optionalCount : 0;
    for (std::size_t i = first; i < params.size(); ++i) params[i].optional = true;
  }
  member.params = std::move(params);
  return member;
}

MemberDesc MemberOf(std::string_view name, const VARDESC& variable) {
  MemberDesc member;
  member.name = std::string(name);
  member.id = variable.memid;
  member.variable = true;
  const ParamDesc type = ParamOf(variable.elemdescVar);
  member.type = type.type;
  return member;
}

void FillExcepInfo(EXCEPINFO& native, ExcepInfo& excep) {
  if (native.pfnDeferredFillIn != nullptr) native.pfnDeferredFillIn(&native);
  excep.code =
      native.scode != 0 ? native.scode : (native.wCode != 0 ? MakeCode(0x80040000U | native.wCode) : DISP_E_EXCEPTION);
  // The texts are the caller's to free.
  const OwnedBstr source(std::exchange(native.bstrSource, nullptr));
  const OwnedBstr description(std::exchange(native.bstrDescription, nullptr));
  const OwnedBstr helpFile(std::exchange(native.bstrHelpFile, nullptr));
  excep.source = FromBstr(source.Get());
  excep.description = FromBstr(description.Get());
}

// A platform object as a component of the layer. Members bind through the
// object's type information, as the platform's own binder finds them; an
// object without it answers names itself.
class ComObject;

// The adapters alive, by the identity of their platform object (the pointer
// its IUnknown answers), so that one platform object is one object value, as
// COM's identity rule has it.
struct Adapters {
  std::mutex mutex;
  std::unordered_map<IUnknown*, ComObject*> byIdentity;
};

Adapters& LiveAdapters() {
  static Adapters adapters;
  return adapters;
}

class ComObject final : public Component {
 public:
  // Takes its own references to `identity`, and to `unknown` as its IDispatch.
  ComObject(IUnknown* identity, IUnknown* unknown) : unknown_(ComPtr<IUnknown>::Share(identity)) {
    if (Failed(unknown->QueryInterface(IID_IDispatch, dispatch_.OutVoid()))) dispatch_.Reset();
  }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;
  ~ComObject() override {
    {
      Adapters& adapters = LiveAdapters();
      const std::lock_guard lock(adapters.mutex);
      const auto found = adapters.byIdentity.find(unknown_.Get());
      if (found != adapters.byIdentity.end() && found->second == this) adapters.byIdentity.erase(found);
    }
    // The members' order frees the type information before the interfaces
    // it came from.
  }

  const TypeInfo* GetTypeInfo() const override { return nullptr; }

  bool HasTypeInfo() const override {
    if (!typeInfoLooked_) {
      typeInfoLooked_ = true;
      ComPtr<ITypeInfo> info;
      UINT count = 0;
      if (dispatch_ && Succeeded(dispatch_->GetTypeInfoCount(&count)) && count > 0 &&
          Succeeded(dispatch_->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Out())) && info.Get() != nullptr) {
        if (Failed(info.Get()->GetTypeComp(typeComp_.Out()))) typeComp_.Reset();
      }
    }
    return typeComp_.Get() != nullptr;
  }

  const MemberDesc* Bind(std::string_view name, InvokeKind kind) override {
    if (!HasTypeInfo()) return nullptr;
    std::string key = FoldName(name);
    key += static_cast<char>('0' + static_cast<int>(kind));
    const auto found = bound_.find(key);
    if (found != bound_.end()) return found->second.get();
    std::unique_ptr<MemberDesc> member = BindNow(name, kind);
    const MemberDesc* result = member.get();
    bound_.emplace(std::move(key), std::move(member));
    return result;
  }

  HRESULT GetIdOfName(std::u16string_view name, DispId& id) override {
    if (!dispatch_) return E_NOINTERFACE;
    std::u16string wide(name);
    auto* names = reinterpret_cast<LPOLESTR>(wide.data());
    DISPID member = 0;
    const HRESULT code = dispatch_->GetIDsOfNames(IID_NULL, &names, 1, LOCALE_USER_DEFAULT, &member);
    if (Succeeded(code)) id = member;
    return code;
  }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override;

  void* NativeInterface() const override {
    return dispatch_ ? static_cast<void*>(dispatch_.Get()) : static_cast<void*>(unknown_.Get());
  }

 private:
  std::unique_ptr<MemberDesc> BindNow(std::string_view name, InvokeKind kind) {
    std::u16string wide = text::ToUtf16(name);
    auto* nameBuffer = reinterpret_cast<LPOLESTR>(wide.data());
    const ULONG hash = LHashValOfNameSys(SYS_WIN32, LOCALE_USER_DEFAULT, nameBuffer);
    ComPtr<ITypeInfo> info;
    DESCKIND descKind = DESCKIND_NONE;
    BINDPTR bound{};
    const HRESULT code =
        typeComp_.Get()->Bind(nameBuffer, hash, static_cast<WORD>(kind), info.Out(), &descKind, &bound);
    if (Failed(code)) return nullptr;
    std::unique_ptr<MemberDesc> member;
    switch (descKind) {
      case DESCKIND_FUNCDESC:
        member = std::make_unique<MemberDesc>(MemberOf(name, *bound.lpfuncdesc));
        info.Get()->ReleaseFuncDesc(bound.lpfuncdesc);
        break;
      case DESCKIND_VARDESC:
      case DESCKIND_IMPLICITAPPOBJ:
        member = std::make_unique<MemberDesc>(MemberOf(name, *bound.lpvardesc));
        info.Get()->ReleaseVarDesc(bound.lpvardesc);
        break;
      case DESCKIND_TYPECOMP:
        // A nested type is no member.
        ComPtr<ITypeComp>::Adopt(bound.lptcomp).Reset();
        break;
      default:
        break;
    }
    return member;
  }

  ComPtr<IUnknown> unknown_;
  ComPtr<IDispatch> dispatch_;
  mutable bool typeInfoLooked_ = false;
  mutable ComPtr<ITypeComp> typeComp_;
  std::map<std::string, std::unique_ptr<MemberDesc>> bound_;  // folded name + kind; null: not bound
};

// The arguments of one call in the platform's form: last argument first, a
// by-reference argument pointing into a slot that is read back afterwards.
class NativeArgs {
 public:
  // A by-reference value frees nothing when cleared: its slot owns what it
  // points at. Neither vector grows once made, so the slots stay put.
  explicit NativeArgs(std::size_t count) : values_(count), slots_(count), decimals_(count) {}

  HRESULT Fill(CallArgs& args) {
    const std::size_t count = args.Count();
    for (std::size_t i = 0; i < count; ++i) {
      Variant& arg = args.Raw(i);
      VARIANT& native = *values_[count - 1 - i];
      if (!arg.IsByRef()) {
        const HRESULT code = ToNative(arg, native);
        if (Failed(code)) return code;
        continue;
      }
      const auto type = static_cast<VarType>(arg.Type() & ~VT_BYREF);
      // A record's bytes are its own type's to copy, which the layer does not know.
      if ((type & VT_TYPEMASK) == VT_RECORD) return DISP_E_BADVARTYPE;
      VARIANT& slot = *slots_[i];
      const HRESULT code = ToNative(arg.Deref(), slot);
      if (Failed(code)) return code;
      if (type == VT_VARIANT) {
        V_VT(&native) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&native) = &slot;
        continue;
      }
      if (type == VT_DECIMAL) {
        // The layer holds no decimals: the value goes as the platform
        // converts it. A DECIMAL fills the whole slot, its reserved first
        // field where the type stands.
        if (V_VT(&slot) == VT_EMPTY) {
          std::memset(&V_DECIMAL(&slot), 0, sizeof(DECIMAL));
        } else {
          const HRESULT changed = VariantChangeType(&slot, &slot, 0, VT_DECIMAL);
          if (Failed(changed)) return changed;
        }
        V_VT(&slot) = VT_DECIMAL;
        decimals_[i] = true;
        V_VT(&native) = VT_BYREF | VT_DECIMAL;
        V_DECIMALREF(&native) = &V_DECIMAL(&slot);
        continue;
      }
      if (V_VT(&slot) != type) {
        // The dispatcher converted the value to the declared type; an empty
        // one (an out parameter not given a value) takes the type as it is.
        if (V_VT(&slot) != VT_EMPTY) return DISP_E_TYPEMISMATCH;
        V_VT(&slot) = type;
      }
      V_VT(&native) = static_cast<VARTYPE>(VT_BYREF | type);
      V_BYREF(&native) = ValueOf(slot);
    }
    return S_OK;
  }

  // Copies what the callee left in by-reference slots back into the layer's
  // values they stand for.
  void ReadBack(CallArgs& args) {
    for (std::size_t i = 0; i < args.Count(); ++i) {
      Variant& arg = args.Raw(i);
      if (!arg.IsByRef()) continue;
      // The callee wrote a whole DECIMAL, its reserved field over the type.
      if (decimals_[i]) V_VT(slots_[i].Get()) = VT_DECIMAL;
      Variant value;
      if (Succeeded(FromNative(*slots_[i], value))) arg.Deref() = std::move(value);
    }
  }

  VARIANT* Data() { return OwnedVariant::Array(values_.data()); }

 private:
  std::vector<OwnedVariant> values_;
  std::vector<OwnedVariant> slots_;
  std::vector<bool> decimals_;  // slots that hold a DECIMAL
};

HRESULT ComObject::Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) {
  if (!dispatch_) return E_NOINTERFACE;
  NativeArgs native(args.Count());
  const HRESULT filled = native.Fill(args);
  if (Failed(filled)) return filled;
  const bool put = kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef;
  // An object without type information cannot say whether a name is a
  // method or a property: a call or read of it asks for either, as the
  // platform's late-bound callers do.
  WORD flags = static_cast<WORD>(kind);
  if (!put && !HasTypeInfo()) flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{native.Data(), put ? &putId : nullptr, static_cast<UINT>(args.Count()), put ? 1U : 0U};
  OwnedVariant answer;
  EXCEPINFO excepInfo{};
  UINT argError = 0;
  const HRESULT code = dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                         put ? nullptr : answer.Get(), &excepInfo, &argError);
  if (code == DISP_E_EXCEPTION) FillExcepInfo(excepInfo, excep);
  if (Failed(code)) return code;
  native.ReadBack(args);
  return FromNative(*answer, result);
}

}  // namespace

Object WrapInterface(IUnknown* unknown) {
  if (unknown == nullptr) return {};
  Object own;
  if (ComponentOfDispatch(unknown, own)) return own;
  ComPtr<IUnknown> identityOwner;
  if (Failed(unknown->QueryInterface(IID_IUnknown, identityOwner.OutVoid())) || !identityOwner) {
    identityOwner = ComPtr<IUnknown>::Share(unknown);
  }
  IUnknown* const identity = identityOwner.Get();
  Adapters& adapters = LiveAdapters();
  const std::lock_guard lock(adapters.mutex);
  Object object;
  const auto found = adapters.byIdentity.find(identity);
  if (found != adapters.byIdentity.end() && found->second->AddRefIfAlive()) {
    object = Object(found->second);
    found->second->Release();  // the Object holds its own reference now
  } else {
    auto adapter = std::make_unique<ComObject>(identity, unknown);
    adapters.byIdentity[identity] = adapter.get();
    object = Object(adapter.release());
  }
  return object;
}

HRESULT ExposeObject(const Object& object, IDispatch*& out) {
  out = nullptr;
  if (object.IsEmpty()) return S_OK;
  if (void* native = object->NativeInterface()) {
    out = static_cast<IDispatch*>(native);
    out->AddRef();
    return S_OK;
  }
  return MakeComponentDispatch(object, out);
}

}  // namespace rankora::automation::com
