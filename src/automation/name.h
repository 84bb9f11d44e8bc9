// Member names and ProgIDs bind without regard to the case of ASCII letters,
// as on the platform.
#pragma once

#include <string>
#include <string_view>

namespace rankora::automation {

// `name` (GBK) with ASCII letters in lower case; a double-byte character
// stays as it is.
std::string FoldName(std::string_view name);

}  // namespace rankora::automation
