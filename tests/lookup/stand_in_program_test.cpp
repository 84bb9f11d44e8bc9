// The lookup against the stand-in weight service running as a program of its
// own, reached by address: on Windows (under Wine) the Linux program that the
// test runner starts, with one weight answered and every later query refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lookup/weight_lookup.h"

namespace rankora::lookup {
namespace {

// Set by the runner to the stand-in's "host:port", started with
// --default-weight 5 --refuse-after 1.
constexpr char kStandInVariable[] = "RANKORA_STAND_IN_HOST";

TEST(StandInProgram, GivesTheWeightThenTheEmptyWeightOnceItRefuses) {
  const char* host = std::getenv(kStandInVariable);
  if (host == nullptr || *host == '\0') {
    GTEST_SKIP() << kStandInVariable << " is not set: no stand-in program was started for this run";
  }
  const Endpoints endpoints{host, kImageHost};
  EXPECT_EQ(LookupWeight("www.baidu.com", endpoints), "5");
  EXPECT_EQ(LookupWeight("www.qq.com", endpoints), "");
}

}  // namespace
}  // namespace rankora::lookup
