#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include <atomic>
#include <vector>

#include "automation/com/com_bridge.h"
#include "automation/com/com_owners.h"
#include "automation/component.h"
#include "text/gbk.h"

namespace rankora::automation::com {
namespace {

// Answered only by the adapter below, so that an in-house component that
// travels through a platform object comes back as itself.
constexpr IID kComponentDispatchId = {0x5d1c0a3e, 0x7b2f, 0x4c61, {0x9e, 0x10, 0x2a, 0x3b, 0x4c, 0x5d, 0x6e, 0x7f}};

// How the component sees a call the platform makes with `flags`. A caller
// may ask for a method or a property get at once; the member's declaration
// decides.
InvokeKind KindOf(const Component& component, DispId id, WORD flags) {
  if ((flags & DISPATCH_PROPERTYPUTREF) != 0) return InvokeKind::PropertyPutRef;
  if ((flags & DISPATCH_PROPERTYPUT) != 0) return InvokeKind::PropertyPut;
  const bool method = (flags & DISPATCH_METHOD) != 0;
  const bool get = (flags & DISPATCH_PROPERTYGET) != 0;
  if (method && get) {
    if (const TypeInfo* info = component.GetTypeInfo()) {
      for (const MemberDesc& member : info->Members()) {
        if (member.id != id) continue;
        return member.variable ? InvokeKind::PropertyGet : member.kind;
      }
    }
    return InvokeKind::Method;
  }
  return get ? InvokeKind::PropertyGet : InvokeKind::Method;
}

// An in-house component as a platform dispatch object. The platform calls
// its entries: no exception leaves them (a 32-bit build cannot unwind through
// the platform's frames), a failure becomes E_FAIL.
class ComponentDispatch final : public IDispatch {
 public:
  explicit ComponentDispatch(Object object) : object_(std::move(object)) {}

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) noexcept override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, kComponentDispatchId)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() noexcept override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT /*index*/, LCID /*locale*/, ITypeInfo** out) noexcept override {
    if (out != nullptr) *out = nullptr;
    return DISP_E_BADINDEX;
  }
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count, LCID /*locale*/,
                                            DISPID* ids) noexcept override {
    if (names == nullptr || ids == nullptr || count == 0) return E_INVALIDARG;
    for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;  // no named arguments
    HRESULT code = DISP_E_UNKNOWNNAME;
    try {
      code = IdOfName(reinterpret_cast<const char16_t*>(names[0]), ids[0]);
    } catch (...) {
      code = E_FAIL;
    }
    if (Failed(code)) ids[0] = DISPID_UNKNOWN;
    return Failed(code) ? code : (count > 1 ? DISP_E_UNKNOWNNAME : S_OK);
  }
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID /*iid*/, LCID /*locale*/, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excepInfo, UINT* /*argError*/) noexcept override {
    try {
      return InvokeNow(id, flags, params, result, excepInfo);
    } catch (...) {
      return E_FAIL;
    }
  }

  const Object& Target() const { return object_; }

 private:
  HRESULT IdOfName(const std::u16string& name, DISPID& id) {
    if (!object_->HasTypeInfo()) {
      DispId found = 0;
      const HRESULT code = object_->GetIdOfName(name, found);
      if (Succeeded(code)) id = found;
      return code;
    }
    const std::string gbk = text::FromUtf16(name);
    for (const InvokeKind kind :
         {InvokeKind::Method, InvokeKind::PropertyGet, InvokeKind::PropertyPut, InvokeKind::PropertyPutRef}) {
      if (const MemberDesc* member = object_->Bind(gbk, kind)) {
        id = member->id;
        return S_OK;
      }
    }
    return DISP_E_UNKNOWNNAME;
  }

  HRESULT InvokeNow(DISPID id, WORD flags, const DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo) {
    const UINT count = params != nullptr ? params->cArgs : 0;
    std::vector<Variant> args(count);
    for (UINT i = 0; i < count; ++i) {
      const HRESULT code = FromNative(params->rgvarg[count - 1 - i], args[i]);
      if (Failed(code)) return code;
    }
    CallArgs callArgs(args);
    Variant answer;
    ExcepInfo excep;
    HRESULT code = object_->Invoke(id, KindOf(*object_.Get(), id, flags), callArgs, answer, excep);
    if (code == DISP_E_EXCEPTION && excepInfo != nullptr) {
      *excepInfo = EXCEPINFO{};
      excepInfo->scode = excep.code;
      excepInfo->bstrSource = ToBstr(excep.source);
      excepInfo->bstrDescription = ToBstr(excep.description);
    }
    if (Failed(code)) return code;
    if (result != nullptr) {
      VariantInit(result);
      return ToNative(answer, *result);
    }
    return S_OK;
  }

  Object object_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace

HRESULT MakeComponentDispatch(const Object& object, IDispatch*& out) {
  out = new (std::nothrow) ComponentDispatch(object);
  return out == nullptr ? E_OUTOFMEMORY : S_OK;
}

bool ComponentOfDispatch(IUnknown* unknown, Object& out) {
  ComPtr<IDispatch> found;
  if (Failed(unknown->QueryInterface(kComponentDispatchId, found.OutVoid())) || !found) return false;
  out = static_cast<ComponentDispatch*>(found.Get())->Target();
  return true;
}

}  // namespace rankora::automation::com
