#include "automation/platform_classes.h"

namespace rankora::automation {

// This platform has no automation classes of its own: every name is the
// in-house registry's.
HRESULT CreatePlatformObject(std::string_view /*name*/, const std::string* /*typeLibraryFile*/, Object& /*object*/) {
  return CO_E_CLASSSTRING;
}

}  // namespace rankora::automation
