#include <gtest/gtest.h>

#include "app/program.h"
#include "automation/apartment.h"
#include "dict/dictionary.h"

namespace rankora::app {
namespace {

TEST(Startup, TheStoredDictionaryParsesWithItsPassword) {
  dict::Dictionary dictionary;
  dictionary.Parse(kStartupDictionary, std::string("mivadrex"));
  EXPECT_EQ(dictionary.GetCount(), 3);
  EXPECT_EQ(dictionary.GetItemText("product"), "Rankora");
  EXPECT_EQ(dictionary.GetItemText("maker"), "www.quillon.example");
  EXPECT_EQ(dictionary.GetItemText("lookups"), "1");
}

TEST(Startup, TheStepLeavesNothingBehind) {
  const int before = automation::ApartmentCount();
  LoadStartupDictionary();
  EXPECT_EQ(automation::ApartmentCount(), before + 1);  // two creations (construction and Parse), one destruction
}

}  // namespace
}  // namespace rankora::app
