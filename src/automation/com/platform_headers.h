// The platform's COM headers for the files of this folder. The layer names
// the platform's result codes and constants itself (automation/hresult.h,
// automation/variant.h, automation/component.h); the headers' macros of the
// same names would rewrite those declarations, so they go once the headers
// are read. The values are the same.
#pragma once

// clang-format off
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <objbase.h>
#include <ole2.h>
#include <oleauto.h>
#include <oaidl.h>
// clang-format on

#undef S_OK
#undef S_FALSE
#undef E_NOTIMPL
#undef E_NOINTERFACE
#undef E_POINTER
#undef E_FAIL
#undef E_UNEXPECTED
#undef E_OUTOFMEMORY
#undef E_INVALIDARG
#undef DISP_E_UNKNOWNINTERFACE
#undef DISP_E_MEMBERNOTFOUND
#undef DISP_E_PARAMNOTFOUND
#undef DISP_E_TYPEMISMATCH
#undef DISP_E_UNKNOWNNAME
#undef DISP_E_NONAMEDARGS
#undef DISP_E_BADVARTYPE
#undef DISP_E_EXCEPTION
#undef DISP_E_OVERFLOW
#undef DISP_E_BADINDEX
#undef DISP_E_BADPARAMCOUNT
#undef TYPE_E_ELEMENTNOTFOUND
#undef TYPE_E_CANTLOADLIBRARY
#undef REGDB_E_CLASSNOTREG
#undef CO_E_CLASSSTRING
#undef CO_E_ERRORINDLL
#undef CO_E_DLLNOTFOUND
#undef VARIANT_TRUE
#undef VARIANT_FALSE
#undef DISPID_VALUE
#undef DISPID_PROPERTYPUT
