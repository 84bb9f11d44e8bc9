// A program without the script component: every engine's creation fails.
#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "script/script_engine.h"

namespace rankora::script {
namespace {

TEST(ScriptEngineWithoutControl, AnswersEveryOperationWithItsEmptyValue) {
  const int before = automation::ApartmentCount();
  {
    ScriptEngine engine;
    EXPECT_TRUE(engine.GetControl().IsEmpty());
    EXPECT_EQ(automation::ApartmentCount(), before + 1);  // initialised whether or not creation succeeded
    EXPECT_FALSE(engine.Create());
    EXPECT_FALSE(engine.SetLanguage());
    EXPECT_EQ(engine.GetLanguage(), "");
    EXPECT_EQ(engine.GetState(), 0);
    EXPECT_EQ(engine.GetSitehWnd(), 0);
    EXPECT_EQ(engine.GetTimeout(), 0);
    EXPECT_FALSE(engine.GetAllowUI());
    EXPECT_FALSE(engine.SetTimeout(5));
    EXPECT_TRUE(engine.GetError().IsEmpty());
    EXPECT_TRUE(engine.GetModules().IsEmpty());
    EXPECT_EQ(engine.AddCode("var a;"), 0);
    EXPECT_TRUE(engine.Eval("1").IsEmpty());
    EXPECT_TRUE(engine.Run("f").IsEmpty());
    EXPECT_EQ(automation::LastCall().code, automation::E_POINTER);
  }
  EXPECT_EQ(automation::ApartmentCount(), before + 1);  // two creations, one destruction
}

}  // namespace
}  // namespace rankora::script
