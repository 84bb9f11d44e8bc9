#include "automation/apartment.h"

namespace rankora::automation {
namespace {
thread_local int apartmentCount = 0;
}

HRESULT CoInitialize() { return apartmentCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  // An unbalanced call is a no-op, as on the platform.
  if (apartmentCount > 0) --apartmentCount;
}

HRESULT OleInitialize() { return CoInitialize(); }

void OleUninitialize() { CoUninitialize(); }

int ApartmentCount() { return apartmentCount; }

}  // namespace rankora::automation
