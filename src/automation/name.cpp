#include "automation/name.h"

#include "text/ascii.h"

namespace rankora::automation {

std::string FoldName(std::string_view name) { return text::AsciiLowerCopy(name); }

}  // namespace rankora::automation
