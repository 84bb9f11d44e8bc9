#include "components/script/script_control.h"

#include <gtest/gtest.h>

#include "automation/dispatch.h"
#include "automation/reading.h"
#include "components/dictionary/dictionary_component.h"
#include "text/gbk.h"

namespace rankora::components {
namespace {

using namespace automation;

constexpr HRESULT kInvalidValue = MakeCode(0x800A017C);
constexpr HRESULT kTimedOut = MakeCode(0x800705B4);
constexpr HRESULT kOutOfMemory = MakeCode(0x800A0007);

HRESULT RaisedCode() { return LastCall().code == DISP_E_EXCEPTION ? LastCall().excep.code : LastCall().code; }

class ScriptControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Create(control_, kScriptControlProgId));
    ASSERT_TRUE(WriteProperty(control_, "Language", {"JavaScript"}));
  }
  Variant Eval(const std::string& expression) { return CallVariantMethod(control_, "Eval", {expression}); }

  Object control_;
};

TEST(ScriptControlLanguage, TakesJavaScriptOrJScriptInAnyCase) {
  Object control;
  ASSERT_TRUE(Create(control, kScriptControlProgId));
  EXPECT_EQ(ReadTextProperty(control, "Language"), "");
  EXPECT_TRUE(WriteProperty(control, "Language", {"jAvAsCrIpT"}));
  EXPECT_EQ(ReadTextProperty(control, "Language"), "JScript");
  EXPECT_FALSE(WriteProperty(control, "Language", {"VBScript"}));
  EXPECT_EQ(RaisedCode(), kInvalidValue);
  EXPECT_EQ(ReadTextProperty(control, "Language"), "JScript");
  EXPECT_TRUE(WriteProperty(control, "Language", {"JSCRIPT"}));
}

TEST(ScriptControlLanguage, NothingRunsBeforeALanguageIsSet) {
  Object control;
  ASSERT_TRUE(Create(control, kScriptControlProgId));
  for (const char* member : {"Eval", "ExecuteStatement", "AddCode"}) {
    CallMethod(control, member, {"1"});
    EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION) << member;
  }
  CallMethod(control, "Run", {"f"});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  CallMethod(control, "Reset");
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  for (const char* member : {"Modules", "CodeObject", "Procedures"}) {
    EXPECT_TRUE(ReadObjectProperty(control, member).IsEmpty()) << member;
    EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION) << member;
  }
  EXPECT_FALSE(ReadObjectProperty(control, "Error").IsEmpty());
}

TEST_F(ScriptControlTest, KeepsThePropertiesOfThePlatformsControl) {
  EXPECT_EQ(ReadNumberProperty(control_, "State"), 0);
  EXPECT_EQ(ReadNumberProperty(control_, "SitehWnd"), 0);
  EXPECT_EQ(ReadNumberProperty(control_, "Timeout"), 10000);
  EXPECT_TRUE(ReadBoolProperty(control_, "AllowUI"));
  EXPECT_FALSE(ReadBoolProperty(control_, "UseSafeSubset"));

  EXPECT_TRUE(WriteProperty(control_, "State", {1}));
  EXPECT_FALSE(WriteProperty(control_, "State", {2}));
  EXPECT_EQ(RaisedCode(), kInvalidValue);
  EXPECT_EQ(ReadNumberProperty(control_, "State"), 1);
  for (const int timeout : {-1, 0, 500}) {
    EXPECT_TRUE(WriteProperty(control_, "Timeout", {timeout}));
    EXPECT_EQ(ReadNumberProperty(control_, "Timeout"), timeout);
  }
  EXPECT_FALSE(WriteProperty(control_, "Timeout", {-2}));
  EXPECT_TRUE(WriteProperty(control_, "SitehWnd", {1234}));
  EXPECT_EQ(ReadNumberProperty(control_, "SitehWnd"), 1234);
  EXPECT_TRUE(WriteProperty(control_, "AllowUI", {false}));
  EXPECT_FALSE(ReadBoolProperty(control_, "AllowUI"));
  EXPECT_TRUE(WriteProperty(control_, "UseSafeSubset", {true}));
  EXPECT_TRUE(ReadBoolProperty(control_, "UseSafeSubset"));
}

TEST_F(ScriptControlTest, GivesValuesAsJScriptDoes) {
  EXPECT_EQ(Eval("1 + 2").Type(), VT_I4);
  EXPECT_EQ(Eval("2147483647").Type(), VT_I4);
  EXPECT_EQ(Eval("2147483648").Type(), VT_R8);
  EXPECT_EQ(Eval("-2147483648").Type(), VT_I4);
  EXPECT_EQ(Eval("1.5").Type(), VT_R8);
  EXPECT_EQ(Eval("-0").Type(), VT_R8);
  EXPECT_EQ(Eval("'abc'").TextValue(), u"abc");
  EXPECT_EQ(Eval("1 < 2").Type(), VT_BOOL);
  EXPECT_TRUE(Eval("1 < 2").BoolValue());
  EXPECT_EQ(Eval("undefined").Type(), VT_EMPTY);
  EXPECT_EQ(Eval("null").Type(), VT_NULL);
  EXPECT_EQ(Eval("new Date(0)").Type(), VT_DISPATCH);
  EXPECT_EQ(Eval("[1, 2]").Type(), VT_DISPATCH);
  EXPECT_EQ(GetText(Eval("'\\u6743\\u91cd'")), text::Gbk("权重"));
}

TEST_F(ScriptControlTest, KeepsTheCodeUnitsOfTexts) {
  CallMethod(control_, "ExecuteStatement", {"function id(s) { return s; } function len(s) { return s.length; }"});
  const std::u16string units = {u'a', char16_t(0xD800), u'\u4E2D', char16_t(0xD83D), char16_t(0xDE00)};
  const Variant back = CallVariantMethod(control_, "Run", {"id", Variant::Text(units)});
  EXPECT_EQ(back.TextValue(), units);
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"len", Variant::Text(units)}), 5);
}

TEST_F(ScriptControlTest, RunsProceduresWithTheirArguments) {
  CallMethod(control_, "AddCode", {"function add(a, b) { return a + b; }\nfunction kind(x) { return typeof x; }"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"add", 2, 3}), 5);
  EXPECT_EQ(CallTextMethod(control_, "Run", {"add", "2", 3}), "23");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kind", true}), "boolean");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kind", 1.5}), "number");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kind"}), "undefined");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kind", Variant::Null()}), "object");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kind", DateTime{41389.0}}), "object");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"kind(new Date(Date.UTC(2013, 3, 25)))"}), "object");
}

TEST_F(ScriptControlTest, FillsTheSameErrorObjectWithEachScriptError) {
  const Object error = ReadObjectProperty(control_, "Error");
  EXPECT_EQ(ReadObjectProperty(control_, "Error"), error);
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 0);

  EXPECT_EQ(Eval("1 +").Type(), VT_EMPTY);
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<std::uint32_t>(ReadNumberProperty(error, "Number")), 0x800A03EAu);
  EXPECT_EQ(ReadTextProperty(error, "Source"), "Microsoft JScript compilation error");
  EXPECT_FALSE(ReadTextProperty(error, "Description").empty());
  EXPECT_EQ(ReadNumberProperty(error, "Line"), 1);
  EXPECT_EQ(ReadTextProperty(error, "Text"), "1 +");

  CallMethod(control_, "ExecuteStatement", {"var a = 1;\nnothing.here = 2;"});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(static_cast<std::uint32_t>(ReadNumberProperty(error, "Number")), 0x800A1391u);
  EXPECT_EQ(ReadTextProperty(error, "Source"), "Microsoft JScript runtime error");
  EXPECT_EQ(ReadNumberProperty(error, "Line"), 2);

  EXPECT_EQ(CallVariantMethod(control_, "Run", {"missing"}).Type(), VT_EMPTY);
  EXPECT_NE(ReadTextProperty(error, "Description").find("missing"), std::string::npos);
  CallMethod(control_, "Eval", {"(function () { throw 'thrown'; })()"});
  EXPECT_EQ(ReadTextProperty(error, "Description"), "thrown");

  CallMethod(error, "Clear");
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 0);
  EXPECT_EQ(ReadTextProperty(error, "Description"), "");
}

TEST_F(ScriptControlTest, StopsEachCallThatRunsPastTheTimeoutAndStaysUsable) {
  const Object error = ReadObjectProperty(control_, "Error");
  CallMethod(control_, "AddCode", {"function spin() { for (;;) {} }"});
  ASSERT_EQ(LastCall().code, S_OK);
  const Object object = CallObjectMethod(control_, "Eval", {"({ spin: spin })"});
  ASSERT_FALSE(object.IsEmpty());
  const auto expectStopped = [&](const char* what) {
    EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION) << what;
    EXPECT_EQ(RaisedCode(), kTimedOut) << what;
    EXPECT_EQ(static_cast<HRESULT>(ReadNumberProperty(error, "Number")), kTimedOut) << what;
    EXPECT_EQ(ReadTextProperty(error, "Source"), "ScriptControl") << what;
    EXPECT_EQ(CallNumberMethod(control_, "Eval", {"1 + 1"}), 2) << what;
  };

  for (const int timeout : {0, 50}) {
    ASSERT_TRUE(WriteProperty(control_, "Timeout", {timeout}));
    EXPECT_EQ(Eval("for (;;) {}").Type(), VT_EMPTY);
    expectStopped("Eval");
    CallMethod(control_, "ExecuteStatement", {"while (true) {}"});
    expectStopped("ExecuteStatement");
    CallMethod(control_, "AddCode", {"var n = 0; do { ++n; } while (n > 0);"});
    expectStopped("AddCode");
    EXPECT_EQ(CallVariantMethod(control_, "Run", {"spin"}).Type(), VT_EMPTY);
    expectStopped("Run");
    CallMethod(object, "spin");
    expectStopped("a script object's method");
    // Catching the error does not let a script run on.
    CallMethod(control_, "ExecuteStatement", {"try { spin(); } catch (e) {} for (;;) {}"});
    expectStopped("a script that catches");
    CallMethod(control_, "ExecuteStatement", {"try { spin(); } finally { for (;;) {} }"});
    expectStopped("a script that runs on in finally");
  }
}

// A heap holds at most 64 MiB. The loops are bounded (at 1 GiB) so that a
// heap without its limit ends them too, and the test fails instead of taking
// the machine's memory.
TEST_F(ScriptControlTest, FailsAScriptThatEatsMemoryWithAScriptErrorAndStaysUsable) {
  const Object error = ReadObjectProperty(control_, "Error");
  CallMethod(control_, "ExecuteStatement",
             {"(function () { var a = []; for (var i = 0; i < 1024; ++i) a.push('x'.repeat(1 << 20) + i); })()"});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(RaisedCode(), kOutOfMemory);
  EXPECT_EQ(static_cast<HRESULT>(ReadNumberProperty(error, "Number")), kOutOfMemory);
  EXPECT_EQ(ReadTextProperty(error, "Source"), "Microsoft JScript runtime error");
  // The memory is given back: a large string fits again.
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"'x'.repeat(24 << 20).length"}), 24 << 20);

  // What the script still holds stays held; the control still runs scripts.
  CallMethod(control_, "ExecuteStatement", {"var s = 'x'; for (var i = 0; i < 30; ++i) s += s;"});
  EXPECT_EQ(RaisedCode(), kOutOfMemory);
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"1 + 1"}), 2);
  CallMethod(control_, "ExecuteStatement", {"s = '';"});

  // A script that catches the error goes on.
  EXPECT_EQ(CallTextMethod(control_, "Eval",
                           {"try { var t = 'x'; for (var j = 0; j < 30; ++j) t += t; 'not caught' }"
                            " catch (e) { t = ''; 'caught' }"}),
            "caught");
  EXPECT_EQ(LastCall().code, S_OK);
}

// The value comes back from the host while the heap is nearly full: the
// call fails as out of memory and gives back what it took (the sanitizers'
// leak check sees a C++ object skipped on the way out).
TEST_F(ScriptControlTest, FailsAHostValueThatDoesNotFitAsOutOfMemory) {
  Object dict;
  ASSERT_TRUE(Create(dict, kDictionaryProgId));
  CallMethod(dict, "Add", {"big", std::string(std::size_t{20} << 20, 'x')});
  CallMethod(control_, "AddObject", {"d", dict});
  CallMethod(control_, "ExecuteStatement",
             {"var held = []; for (var i = 0; i < 50; ++i) held.push('y'.repeat(1 << 20) + i);"});
  ASSERT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(Eval("d.Item('big').length").Type(), VT_EMPTY);
  EXPECT_EQ(RaisedCode(), kOutOfMemory);
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"held = null; d.Item('big').length"}), 20 << 20);
}

TEST_F(ScriptControlTest, ResetDropsCodeAndObjectsButKeepsTheLanguage) {
  Object dict;
  ASSERT_TRUE(Create(dict, kDictionaryProgId));
  CallMethod(control_, "AddObject", {"d", dict});
  CallMethod(control_, "ExecuteStatement", {"function f() { return 1; }"});
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"f"}), 1);
  CallMethod(control_, "Reset");
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(ReadTextProperty(control_, "Language"), "JScript");
  EXPECT_EQ(CallVariantMethod(control_, "Run", {"f"}).Type(), VT_EMPTY);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"typeof d"}), "undefined");
  CallMethod(control_, "AddObject", {"d", dict});
  EXPECT_EQ(LastCall().code, S_OK);
}

TEST_F(ScriptControlTest, LetsScriptReachAddedObjectsByName) {
  Object dict;
  ASSERT_TRUE(Create(dict, kDictionaryProgId));
  CallMethod(control_, "AddObject", {"d", dict});
  ASSERT_EQ(LastCall().code, S_OK);
  CallMethod(control_, "ExecuteStatement", {"d.Add('a', 1); d.Add('b', 'two');"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(ReadNumberProperty(dict, "Count"), 2);
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"d.Count"}), 2);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"d.Item('b')"}), "two");
  EXPECT_TRUE(CallBoolMethod(control_, "Eval", {"d.Exists('a')"}));
  // A failing host call is a script error the script can catch.
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"try { d.Add('a', 3); 'no' } catch (e) { 'caught' }"}), "caught");
  // The object goes back out as itself; its methods as script functions.
  EXPECT_EQ(CallObjectMethod(control_, "Eval", {"d"}), dict);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"typeof d.Add"}), "function");
  EXPECT_NE(CallObjectMethod(control_, "Eval", {"d.Add"}), dict);

  CallMethod(control_, "AddObject", {"d", dict});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  CallMethod(control_, "AddObject", {"m", dict, true});
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"Count"}), 2);
}

TEST_F(ScriptControlTest, GivesScriptObjectsThatAnswerByName) {
  const Object object =
      CallObjectMethod(control_, "Eval", {"({ a: 1, name: 'x', twice: function (n) { return 2 * n; } })"});
  ASSERT_FALSE(object.IsEmpty());
  EXPECT_EQ(ReadNumberProperty(object, "a"), 1);
  EXPECT_EQ(ReadTextProperty(object, "name"), "x");
  EXPECT_EQ(CallNumberMethod(object, "twice", {21}), 42);
  EXPECT_TRUE(WriteProperty(object, "a", {5}));
  EXPECT_EQ(ReadNumberProperty(object, "a"), 5);
  EXPECT_EQ(ReadProperty(object, "absent").Type(), VT_EMPTY);

  CallMethod(control_, "ExecuteStatement", {"function getA(o) { return o.a; }"});
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"getA", object}), 5);

  const Object array = CallObjectMethod(control_, "Eval", {"[3, 4, 5]"});
  EXPECT_EQ(ReadNumberProperty(array, "length"), 3);
  const Object date = CallObjectMethod(control_, "Eval", {"new Date(Date.UTC(2013, 3, 25))"});
  EXPECT_EQ(CallNumberMethod(date, "getUTCFullYear"), 2013);
  EXPECT_NE(CallTextMethod(control_, "Eval", {"String(new Date(0))"}), "");
}

TEST_F(ScriptControlTest, ListsModulesProceduresAndTheCodeObject) {
  CallMethod(control_, "AddCode", {"function one(a) { return a; }\nfunction two(a, b) { return b; }\nvar x = 1;"});
  const Object procedures = ReadObjectProperty(control_, "Procedures");
  EXPECT_EQ(ReadNumberProperty(procedures, "Count"), 2);
  const Object second = ReadObjectProperty(procedures, "Item", {2});
  EXPECT_EQ(ReadTextProperty(second, "Name"), "two");
  EXPECT_EQ(ReadNumberProperty(second, "NumArgs"), 2);
  EXPECT_TRUE(ReadBoolProperty(second, "HasReturnValue"));
  EXPECT_EQ(ReadTextProperty(ReadObjectProperty(procedures, "Item", {"one"}), "Name"), "one");

  const Object modules = ReadObjectProperty(control_, "Modules");
  EXPECT_EQ(ReadNumberProperty(modules, "Count"), 1);
  const Object global = ReadObjectProperty(modules, "Item", {1});
  EXPECT_EQ(ReadTextProperty(global, "Name"), "Global");
  EXPECT_EQ(ReadTextProperty(ReadObjectProperty(modules, "Item", {"global"}), "Name"), "Global");
  EXPECT_EQ(CallNumberMethod(global, "Run", {"one", 7}), 7);
  EXPECT_TRUE(ReadObjectProperty(modules, "Item", {2}).IsEmpty());

  const Object code = ReadObjectProperty(control_, "CodeObject");
  EXPECT_EQ(ReadNumberProperty(code, "x"), 1);
  EXPECT_EQ(CallNumberMethod(code, "two", {1, 9}), 9);
}

TEST_F(ScriptControlTest, OutlivesNothingItHandedOut) {
  const Object object = CallObjectMethod(control_, "Eval", {"({ a: 7 })"});
  control_.Clear();
  EXPECT_EQ(ReadNumberProperty(object, "a"), 7);
}

}  // namespace
}  // namespace rankora::components
