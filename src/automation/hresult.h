// The platform's result codes, as the in-house automation layer and its
// components return them: negative is failure.
#pragma once

#include <cstdint>

namespace rankora::automation {

using HRESULT = std::int32_t;

constexpr HRESULT MakeCode(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr bool Succeeded(HRESULT code) { return code >= 0; }
constexpr bool Failed(HRESULT code) { return code < 0; }

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = MakeCode(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeCode(0x80004002);
inline constexpr HRESULT E_POINTER = MakeCode(0x80004003);
inline constexpr HRESULT E_FAIL = MakeCode(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeCode(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = MakeCode(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeCode(0x80070057);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeCode(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeCode(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeCode(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeCode(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeCode(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeCode(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeCode(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeCode(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeCode(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MakeCode(0x8002000B);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeCode(0x8002000E);

inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = MakeCode(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeCode(0x80029C4A);

inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeCode(0x80040154);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeCode(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeCode(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeCode(0x800401F9);
// HRESULT_FROM_WIN32 of ERROR_MOD_NOT_FOUND and ERROR_FILE_NOT_FOUND: a
// registered class whose module is gone.
inline constexpr HRESULT kModuleNotFound = MakeCode(0x8007007E);
inline constexpr HRESULT kFileNotFound = MakeCode(0x80070002);

}  // namespace rankora::automation
