#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include "automation/apartment.h"

#include <vector>

namespace rankora::automation {
namespace {

// One entry per initialisation not yet undone, innermost last: whether the
// platform's call succeeded, so that only those are undone on the platform.
struct Initialisation {
  bool ole;
  bool succeeded;
};
thread_local std::vector<Initialisation> initialisations;

void Undo() {
  if (initialisations.empty()) return;  // an unbalanced call is a no-op, as on the platform
  const Initialisation last = initialisations.back();
  initialisations.pop_back();
  if (!last.succeeded) return;
  if (last.ole) {
    ::OleUninitialize();
  } else {
    ::CoUninitialize();
  }
}

}  // namespace

HRESULT CoInitialize() {
  const HRESULT code = ::CoInitialize(nullptr);
  initialisations.push_back({false, Succeeded(code)});
  return code;
}

void CoUninitialize() { Undo(); }

HRESULT OleInitialize() {
  const HRESULT code = ::OleInitialize(nullptr);
  initialisations.push_back({true, Succeeded(code)});
  return code;
}

void OleUninitialize() { Undo(); }

int ApartmentCount() { return static_cast<int>(initialisations.size()); }

}  // namespace rankora::automation
