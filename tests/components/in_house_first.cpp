// The component tests check the in-house components: on Windows, where the
// platform's classes of the same names answer first, the in-house ones are
// asked first for the whole test program, in an apartment of its own.
#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/registry.h"

namespace rankora::components {
namespace {

class InHouseComponents : public ::testing::Environment {
 public:
  void SetUp() override { automation::CoInitialize(); }
  void TearDown() override { automation::CoUninitialize(); }

 private:
  automation::InHouseFirst first_;
};

::testing::Environment* const kInHouseComponents = ::testing::AddGlobalTestEnvironment(new InHouseComponents);

}  // namespace
}  // namespace rankora::components
