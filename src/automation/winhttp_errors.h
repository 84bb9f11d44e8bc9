// The failure codes of the platform's HTTP request object (WinHttpRequest's
// ERROR_WINHTTP_* codes as failures), the same on every platform: the
// in-house request raises them, and the layers above tell them apart.
#pragma once

#include "automation/hresult.h"

namespace rankora::automation::winhttp {

inline constexpr HRESULT kTimedOut = MakeCode(0x80072EE2);
inline constexpr HRESULT kInvalidUrl = MakeCode(0x80072EE5);
inline constexpr HRESULT kUnrecognizedScheme = MakeCode(0x80072EE6);
inline constexpr HRESULT kNameNotResolved = MakeCode(0x80072EE7);
inline constexpr HRESULT kCancelled = MakeCode(0x80072EF1);
inline constexpr HRESULT kCannotConnect = MakeCode(0x80072EFD);
inline constexpr HRESULT kConnectionError = MakeCode(0x80072EFE);
inline constexpr HRESULT kBeforeOpen = MakeCode(0x80072F44);
inline constexpr HRESULT kBeforeSend = MakeCode(0x80072F45);
inline constexpr HRESULT kAfterSend = MakeCode(0x80072F46);
inline constexpr HRESULT kHeaderNotFound = MakeCode(0x80072F76);
inline constexpr HRESULT kRedirectFailed = MakeCode(0x80072F7C);
inline constexpr HRESULT kSecureFailure = MakeCode(0x80072F8F);
// The secure connection's other failures: the handshake, and a certificate
// the platform's request turns down for a reason of its own.
inline constexpr HRESULT kSecureChannelError = MakeCode(0x80072F7D);
inline constexpr HRESULT kSecureCertDateInvalid = MakeCode(0x80072F05);
inline constexpr HRESULT kSecureCertNameInvalid = MakeCode(0x80072F06);
inline constexpr HRESULT kSecureInvalidCa = MakeCode(0x80072F0D);
inline constexpr HRESULT kSecureCertRevocationFailed = MakeCode(0x80072F19);
inline constexpr HRESULT kSecureInvalidCert = MakeCode(0x80072F89);
inline constexpr HRESULT kSecureCertRevoked = MakeCode(0x80072F8A);
inline constexpr HRESULT kSecureCertWrongUsage = MakeCode(0x80072F93);

}  // namespace rankora::automation::winhttp
