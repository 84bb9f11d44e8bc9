#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "automation/com/com_bridge.h"
#include "automation/com/com_owners.h"

namespace rankora::automation::com {
namespace {

// Access to an array's elements for as long as it lives.
class ArrayData {
 public:
  explicit ArrayData(SAFEARRAY* array) : array_(array) { code_ = SafeArrayAccessData(array_, &data_); }
  ArrayData(const ArrayData&) = delete;
  ArrayData& operator=(const ArrayData&) = delete;
  ~ArrayData() {
    if (Succeeded(code_)) SafeArrayUnaccessData(array_);
  }
  HRESULT Code() const { return code_; }
  std::uint8_t* Bytes() const { return static_cast<std::uint8_t*>(data_); }

 private:
  SAFEARRAY* array_;
  void* data_ = nullptr;
  HRESULT code_;
};

HRESULT ArrayToNative(const SafeArray& array, SAFEARRAY*& out) {
  const VarType elementType = array.ElementType();
  // A record's bytes are its own type's to copy, which the layer does not know.
  if (elementType == VT_RECORD) return DISP_E_BADVARTYPE;
  std::vector<SAFEARRAYBOUND> bounds;
  for (const ArrayBound& bound : array.Bounds()) bounds.push_back({bound.count, bound.lowerBound});
  // A SAFEARRAY has at least one dimension; an array without any is an empty one.
  if (bounds.empty()) bounds.push_back({0, 0});
  OwnedSafeArray native(SafeArrayCreate(elementType, static_cast<UINT>(bounds.size()), bounds.data()));
  if (native.Get() == nullptr)
    return elementType == VT_UI1 || elementType == VT_VARIANT ? E_OUTOFMEMORY : DISP_E_BADVARTYPE;
  const std::size_t size = array.Size();
  if (size > 0) {
    const ArrayData data(native.Get());
    if (Failed(data.Code())) return data.Code();
    if (elementType == VT_UI1) {
      std::memcpy(data.Bytes(), array.ByteData().data(), size);
    } else {
      const UINT elementSize = SafeArrayGetElemsize(native.Get());
      for (std::size_t i = 0; i < size; ++i) {
        OwnedVariant element;
        const HRESULT code = ToNative(array.Get(i), *element);
        if (Failed(code)) return code;
        void* slot = data.Bytes() + i * elementSize;
        if (elementType != VT_VARIANT && V_VT(element.Get()) != elementType) return DISP_E_TYPEMISMATCH;
        // The element's value moves into the array, which now owns it.
        VARIANT moved = element.Detach();
        if (elementType == VT_VARIANT) {
          std::memcpy(slot, &moved, sizeof moved);
        } else if (elementSize > kValueRoom) {
          // Wider than a VARIANT's value (a DECIMAL fills the whole VARIANT).
          return DISP_E_BADVARTYPE;
        } else {
          std::memcpy(slot, ValueOf(moved), elementSize);
        }
      }
    }
  }
  out = native.Detach();
  return S_OK;
}

HRESULT ArrayFromNative(SAFEARRAY* native, VarType elementType, Variant& out) {
  if (native == nullptr) {
    out = Variant::Array(SafeArray(elementType, {}));
    return S_OK;
  }
  const UINT dimensions = SafeArrayGetDim(native);
  std::vector<ArrayBound> bounds;
  for (UINT d = 1; d <= dimensions; ++d) {
    LONG lower = 0;
    LONG upper = -1;
    if (Failed(SafeArrayGetLBound(native, d, &lower)) || Failed(SafeArrayGetUBound(native, d, &upper))) {
      return DISP_E_BADVARTYPE;
    }
    bounds.push_back({static_cast<std::uint32_t>(upper - lower + 1), lower});
  }
  // A record's bytes are its own type's to copy, which the layer does not know.
  if (elementType == VT_RECORD) return DISP_E_BADVARTYPE;
  // The layer holds no decimals: an array of them arrives as doubles.
  SafeArray array(elementType == VT_DECIMAL ? VT_R8 : elementType, bounds);
  const std::size_t size = array.Size();
  if (size > 0) {
    const ArrayData data(native);
    if (Failed(data.Code())) return data.Code();
    if (elementType == VT_UI1 && dimensions == 1) {
      array = SafeArray::Bytes(std::span<const std::uint8_t>(data.Bytes(), size), bounds.front().lowerBound);
    } else {
      const UINT elementSize = SafeArrayGetElemsize(native);
      for (std::size_t i = 0; i < size; ++i) {
        const void* slot = data.Bytes() + i * elementSize;
        Variant element;
        HRESULT code = S_OK;
        if (elementType == VT_VARIANT) {
          code = FromNative(*static_cast<const VARIANT*>(slot), element);
        } else {
          // A view of the element as a VARIANT; the array keeps owning it.
          VARIANT view;
          VariantInit(&view);
          if (elementType == VT_DECIMAL) {
            // A DECIMAL fills the whole VARIANT; its reserved first field is
            // where the type stands.
            std::memcpy(&V_DECIMAL(&view), slot, sizeof(DECIMAL));
          } else if (elementSize > kValueRoom) {
            return DISP_E_BADVARTYPE;
          } else {
            std::memcpy(ValueOf(view), slot, elementSize);
          }
          V_VT(&view) = elementType;
          code = FromNative(view, element);
        }
        if (Failed(code)) return code;
        code = array.Put(i, element);
        if (Failed(code)) return code;
      }
    }
  }
  out = Variant::Array(std::move(array));
  return S_OK;
}

}  // namespace

BSTR ToBstr(std::u16string_view text) {
  // An empty text is an allocated empty BSTR, not the null one the platform
  // also allows: not every server reads a null BSTR as empty.
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
}

std::u16string FromBstr(BSTR text) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

HRESULT ToNative(const Variant& valueRef, VARIANT& out) {
  const Variant& value = valueRef.Deref();
  const VarType type = value.Type();
  if ((type & VT_ARRAY) != 0) {
    SAFEARRAY* array = nullptr;
    const HRESULT code = ArrayToNative(*value.ArrayValue(), array);
    if (Failed(code)) return code;
    V_VT(&out) = type;
    V_ARRAY(&out) = array;
    return S_OK;
  }
  switch (type) {
    case VT_EMPTY:
    case VT_NULL:
      break;
    case VT_I1:
      V_I1(&out) = static_cast<CHAR>(value.Signed());
      break;
    case VT_I2:
      V_I2(&out) = static_cast<SHORT>(value.Signed());
      break;
    case VT_I4:
    case VT_INT:
      V_I4(&out) = static_cast<LONG>(value.Signed());
      break;
    case VT_I8:
      V_I8(&out) = value.Signed();
      break;
    case VT_UI1:
      V_UI1(&out) = static_cast<BYTE>(value.Unsigned());
      break;
    case VT_UI2:
      V_UI2(&out) = static_cast<USHORT>(value.Unsigned());
      break;
    case VT_UI4:
    case VT_UINT:
      V_UI4(&out) = static_cast<ULONG>(value.Unsigned());
      break;
    case VT_UI8:
      V_UI8(&out) = value.Unsigned();
      break;
    case VT_R4:
      V_R4(&out) = value.Single();
      break;
    case VT_R8:
      V_R8(&out) = value.Real();
      break;
    case VT_DATE:
      V_DATE(&out) = value.Real();
      break;
    case VT_CY:
      V_CY(&out).int64 = value.Signed();
      break;
    case VT_BOOL:
      V_BOOL(&out) = value.BoolValue() ? VARIANT_TRUE : VARIANT_FALSE;
      break;
    case VT_ERROR:
      V_ERROR(&out) = value.ErrorCode();
      break;
    case VT_BSTR: {
      BSTR text = ToBstr(value.TextValue());
      if (text == nullptr) return E_OUTOFMEMORY;
      V_BSTR(&out) = text;
      break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IDispatch* dispatch = nullptr;
      const HRESULT code = ExposeObject(value.ObjectValue(), dispatch);
      if (Failed(code)) return code;
      // An IDispatch is an IUnknown: the same pointer serves both kinds.
      if (type == VT_DISPATCH) {
        V_DISPATCH(&out) = dispatch;
      } else {
        V_UNKNOWN(&out) = dispatch;
      }
      break;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
  V_VT(&out) = type;
  return S_OK;
}

HRESULT FromNative(const VARIANT& value, Variant& out) {
  const VARTYPE type = V_VT(&value);
  if ((type & VT_BYREF) != 0) {
    if (type == (VT_BYREF | VT_VARIANT)) {
      if (V_VARIANTREF(&value) == nullptr) return E_POINTER;
      return FromNative(*V_VARIANTREF(&value), out);
    }
    OwnedVariant copy;
    const HRESULT code = VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&value));
    return Succeeded(code) ? FromNative(*copy, out) : code;
  }
  if ((type & VT_ARRAY) != 0) return ArrayFromNative(V_ARRAY(&value), static_cast<VarType>(type & VT_TYPEMASK), out);
  switch (type) {
    case VT_EMPTY:
      out = Variant();
      return S_OK;
    case VT_NULL:
      out = Variant::Null();
      return S_OK;
    case VT_I1:
      out = Variant::I1(V_I1(&value));
      return S_OK;
    case VT_I2:
      out = Variant::I2(V_I2(&value));
      return S_OK;
    case VT_I4:
      out = Variant::I4(V_I4(&value));
      return S_OK;
    case VT_INT:
      out = Variant::Int(V_INT(&value));
      return S_OK;
    case VT_I8:
      out = Variant::I8(V_I8(&value));
      return S_OK;
    case VT_UI1:
      out = Variant::UI1(V_UI1(&value));
      return S_OK;
    case VT_UI2:
      out = Variant::UI2(V_UI2(&value));
      return S_OK;
    case VT_UI4:
      out = Variant::UI4(V_UI4(&value));
      return S_OK;
    case VT_UINT:
      out = Variant::UInt(V_UINT(&value));
      return S_OK;
    case VT_UI8:
      out = Variant::UI8(V_UI8(&value));
      return S_OK;
    case VT_R4:
      out = Variant::R4(V_R4(&value));
      return S_OK;
    case VT_R8:
      out = Variant::R8(V_R8(&value));
      return S_OK;
    case VT_DATE:
      out = Variant::Date(V_DATE(&value));
      return S_OK;
    case VT_CY:
      out = Variant::Currency(V_CY(&value).int64);
      return S_OK;
    case VT_BOOL:
      out = Variant::Bool(V_BOOL(&value) != VARIANT_FALSE);
      return S_OK;
    case VT_ERROR:
      out = Variant::Error(V_ERROR(&value));
      return S_OK;
    case VT_BSTR:
      out = Variant::Text(FromBstr(V_BSTR(&value)));
      return S_OK;
    case VT_DISPATCH:
      out = Variant::Dispatch(WrapInterface(V_DISPATCH(&value)));
      return S_OK;
    case VT_UNKNOWN:
      out = Variant::Unknown(WrapInterface(V_UNKNOWN(&value)));
      return S_OK;
    case VT_DECIMAL: {
      // The layer holds no decimals: they arrive as the nearest double.
      OwnedVariant real;
      const HRESULT code = VariantChangeType(real.Get(), const_cast<VARIANT*>(&value), 0, VT_R8);
      if (Failed(code)) return code;
      out = Variant::R8(V_R8(real.Get()));
      return S_OK;
    }
    default:
      return DISP_E_BADVARTYPE;
  }
}

}  // namespace rankora::automation::com
