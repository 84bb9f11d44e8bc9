#include "environment.h"

#include <windows.h>

#include <cstdlib>

namespace rankora::testing {

// The C runtime keeps its own copy of the environment: both it and the
// process's block are changed, so getenv and the platform's components agree.
void SetEnv(const std::string& name, const std::string& value) {
  ::_putenv_s(name.c_str(), value.c_str());
  ::SetEnvironmentVariableA(name.c_str(), value.c_str());
}

void UnsetEnv(const std::string& name) {
  // An empty value removes the variable from the C runtime's copy.
  ::_putenv_s(name.c_str(), "");
  ::SetEnvironmentVariableA(name.c_str(), nullptr);
}

}  // namespace rankora::testing
