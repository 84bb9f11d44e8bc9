// The MD5 digest as the platform computes it, internal to the dictionary
// library: posix/ asks OpenSSL, win32/ the system's own MD5 calls.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace rankora::dict {

using Md5Digest = std::array<std::uint8_t, 16>;

// The digest of `bytes`, or nothing when the platform could not compute it.
std::optional<Md5Digest> Md5(std::string_view bytes);

}  // namespace rankora::dict
