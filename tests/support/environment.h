// Setting and removing the process's environment variables from a test, the
// same way on every platform. A variable set here is seen by getenv and by
// the platform's own lookups alike.
#pragma once

#include <string>

namespace rankora::testing {

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

}  // namespace rankora::testing
