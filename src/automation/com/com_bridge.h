// The meeting point of the layer's values and the platform's: VARIANT to and
// from Variant, platform interfaces to and from object values. Only the
// files of this folder include it.
#pragma once

#include "automation/com/platform_headers.h"

#include <cstddef>

#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::automation::com {

// `value` as a VARIANT that owns what it holds; `out` must be empty (VT_EMPTY).
// DISP_E_BADVARTYPE for a kind the platform cannot carry.
HRESULT ToNative(const Variant& value, VARIANT& out);

// A copy of `value` (references followed); `value` stays the caller's.
// DISP_E_BADVARTYPE for a kind the layer cannot hold.
HRESULT FromNative(const VARIANT& value, Variant& out);

// The object value behind a platform interface: one of the layer's own
// components when the interface is its adapter, else an adapter of the
// platform's object. Adds its own reference; null gives an empty value.
Object WrapInterface(IUnknown* unknown);

// An interface through which the platform reaches `object`, with a reference
// for the caller: a platform object's own, a component's native interface,
// or an adapter of the component. Null for an empty value.
HRESULT ExposeObject(const Object& object, IDispatch*& out);

// The adapter that lets the platform call an in-house component.
HRESULT MakeComponentDispatch(const Object& object, IDispatch*& out);

// The component when `unknown` is such an adapter.
bool ComponentOfDispatch(IUnknown* unknown, Object& out);

// The start of a VARIANT's value: where a by-reference argument points, and
// where an array element of any type but VARIANT keeps the same bytes.
inline void* ValueOf(VARIANT& v) { return static_cast<void*>(&V_UI1(&v)); }
// The bytes from there to the VARIANT's end: 8 in a 32-bit program, 16 in a
// 64-bit one. A DECIMAL is wider; it fills the whole VARIANT instead.
inline constexpr std::size_t kValueRoom = sizeof(VARIANT) - offsetof(VARIANT, bVal);

// A BSTR from a layer text (null only when out of memory).
BSTR ToBstr(std::u16string_view text);
std::u16string FromBstr(BSTR text);

}  // namespace rankora::automation::com
