#include "platform_deviations.h"

namespace rankora::testing {

// The Linux suites run over the in-house components, never under Wine.
bool RunsUnderWine() { return false; }

bool UsesPlatformComponents() { return false; }

}  // namespace rankora::testing
