#include <windows.h>

#include "platform_deviations.h"

namespace rankora::testing {

// Wine's ntdll exports its version; Windows' has no such entry.
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool UsesPlatformComponents() { return true; }

}  // namespace rankora::testing
