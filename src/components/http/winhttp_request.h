// The in-house HTTP request object, created by name as the platform's
// WinHttpRequest, on libcurl. It honours the standard proxy variables
// (http_proxy, https_proxy, no_proxy) as curl does, follows redirects (a
// POST answered by 301, 302 or 303 as a GET without its body), and once the
// response is in, its URL option names the address the redirects led to. It
// ends a transfer whose body passes 32 MiB as a failure. Its send and receive
// time-outs end a transfer that stalls for that long. A page that names no
// character set reads as UTF-8 when it is UTF-8, else as code page 936.
#pragma once

#include <cstddef>

namespace rankora::components {

inline constexpr char kWinHttpRequestProgId[] = "WinHttp.WinHttpRequest.5.1";
inline constexpr char kWinHttpRequestClsid[] = "{2087C2F4-2CEF-4953-A8AB-66779B670495}";
inline constexpr std::size_t kMostResponseBytes = 32u << 20;

}  // namespace rankora::components
