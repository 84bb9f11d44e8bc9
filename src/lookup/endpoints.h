// Where the weight service lives. The window uses the real hosts; tests and
// tools pass their own (a stand-in on loopback) through the lookup's
// parameter. A user reaches the service through a proxy with http_proxy.
#pragma once

#include <string>

namespace rankora::lookup {

inline constexpr char kServiceHost[] = "www.aizhan.com";
inline constexpr char kImageHost[] = "static.aizhan.com";

struct Endpoints {
  std::string serviceHost = kServiceHost;
  std::string imageHost = kImageHost;
};

}  // namespace rankora::lookup
