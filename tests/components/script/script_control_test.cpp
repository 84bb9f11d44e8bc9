#include "components/script/script_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// Dates are local times. The systems the program serves keep China's time
// (UTC+8, without daylight saving time); on Windows the system's own zone
// applies.
class ChinaTimeZone : public ::testing::Environment {
 public:
  void SetUp() override {
#if !defined(_WIN32)
    setenv("TZ", "CST-8", 1);
    tzset();
#endif
  }
};
::testing::Environment* const kChinaTimeZone = ::testing::AddGlobalTestEnvironment(new ChinaTimeZone);

// Whether local time is China's here: Linux's is the test's own; Windows'
// is the system's, which a test program cannot change.
bool KeepsChinasTime() {
  const std::time_t zero = 0;
  const std::tm* local = std::localtime(&zero);
  return local != nullptr && local->tm_hour == 8 && local->tm_year == 70;
}

#define SKIP_UNLESS_CHINAS_TIME() \
  if (!KeepsChinasTime()) GTEST_SKIP() << "dates print in local time, and this system does not keep China's time"

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
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"kind(new Date(Date.UTC(2013, 3, 25)))"}), "object");
}

TEST_F(ScriptControlTest, FillsTheSameErrorObjectWithEachScriptError) {
  const Object error = ReadObjectProperty(control_, "Error");
  EXPECT_EQ(ReadObjectProperty(control_, "Error"), error);
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 0);

  EXPECT_EQ(Eval("1 +").Type(), VT_EMPTY);
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(RaisedCode(), MakeCode(0x800A03EA));
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 1002);
  EXPECT_EQ(ReadTextProperty(error, "Source"), "Microsoft JScript compilation error");
  EXPECT_EQ(ReadTextProperty(error, "Description"), "Syntax error");
  EXPECT_EQ(ReadNumberProperty(error, "Line"), 1);
  EXPECT_EQ(ReadTextProperty(error, "Text"), "1 +");

  CallMethod(control_, "ExecuteStatement", {"var a = 1;\nnothing.here = 2;"});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(RaisedCode(), MakeCode(0x800A1391));
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 5009);
  EXPECT_EQ(ReadTextProperty(error, "Source"), "Microsoft JScript runtime error");
  EXPECT_EQ(ReadNumberProperty(error, "Line"), 2);

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

// A control's code holds at most 64 MiB. The loops are bounded (at 1 GiB) so that a
// heap without its limit ends them too, and the test fails instead of taking
// the machine's memory.
TEST_F(ScriptControlTest, FailsAScriptThatEatsMemoryWithAScriptErrorAndStaysUsable) {
  const Object error = ReadObjectProperty(control_, "Error");
  CallMethod(control_, "ExecuteStatement",
             {"(function () { var a = []; for (var i = 0; i < 1024; ++i) a.push('x'.repeat(1 << 20) + i); })()"});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(RaisedCode(), kOutOfMemory);
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 7);
  EXPECT_EQ(ReadTextProperty(error, "Description"), "Out of memory");
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

  CallMethod(control_, "ExecuteStatement", {"function getA(o) { return o.a; }"});
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"getA", object}), 5);

  const Object array = CallObjectMethod(control_, "Eval", {"[3, 4, 5]"});
  EXPECT_EQ(ReadNumberProperty(array, "length"), 3);
  const Object date = CallObjectMethod(control_, "Eval", {"new Date(Date.UTC(2013, 3, 25))"});
  EXPECT_EQ(CallNumberMethod(date, "getUTCFullYear"), 2013);
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

// Script values as the platform's control hands them over and takes them
// back.
class ScriptValues : public ScriptControlTest {
 protected:
  void SetUp() override {
    ScriptControlTest::SetUp();
    CallMethod(control_, "AddCode", {"function id(x) { return x; }"});
    ASSERT_EQ(LastCall().code, S_OK);
  }
};

// What a script object gives as its value is JScript's default value, its
// text: "Object.toString / Array.toString / Date.toString" in the JScript
// reference; IDispatch's DISPID_VALUE is what VariantChangeType asks of an
// object.
TEST_F(ScriptValues, GiveJScriptsDefaultValueAsTheirValue) {
  SKIP_UNLESS_CHINAS_TIME();
  const auto valueOf = [&](const char* expression) {
    const Object object = CallObjectMethod(control_, "Eval", {expression});
    Variant value;
    ExcepInfo excep;
    CallArgs none({});
    EXPECT_EQ(object->Invoke(DISPID_VALUE, InvokeKind::PropertyGet, none, value, excep), S_OK) << expression;
    return text::FromUtf16(value.TextValue());
  };
  EXPECT_EQ(valueOf("[1, 2, 3]"), "1,2,3");
  EXPECT_EQ(valueOf("({ a: 1 })"), "[object Object]");
  EXPECT_EQ(valueOf("new Date(0)"), "Thu Jan 1 08:00:00 UTC+0800 1970");
}

// The same read as text through the by-name calls, as a caller does:
// VariantChangeType asks any object for its default value.
TEST_F(ScriptValues, ReadAsTextGiveJScriptsDefaultValue) {
  SKIP_UNLESS_CHINAS_TIME();
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"[1, 2, 3]"}), "1,2,3");
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"new Object()"}), "[object Object]");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"new Date(0)"}), "Thu Jan 1 08:00:00 UTC+0800 1970");
  EXPECT_EQ(GetText(Eval("[1, [2, 3]]")), "1,2,3");
}

// Microsoft's JScript reference, Date object: a VT_DATE value from an
// ActiveX object is a date in script, and getVarDate's VT_DATE is the local
// date and time; it goes back out as VT_DATE.
TEST_F(ScriptValues, PassPlatformDatesThroughAsLocalDates) {
  CallMethod(control_, "AddCode",
             {"function hours(d) { return new Date(d).getHours(); }\n"
              "function nextDay(d) { d.setDate(d.getDate() + 1); return d; }\n"
              "function copy(d) { return new Date(d.getTime()); }"});
  const DateTime noon{41389.5};  // 25 April 2013, 12:00
  const Variant back = CallVariantMethod(control_, "Run", {"id", noon});
  EXPECT_EQ(back.Type(), VT_DATE);
  EXPECT_EQ(back.Real(), 41389.5);
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"hours", noon}), 12);
  EXPECT_EQ(CallTextMethod(control_, "Run", {"id", DateTime{41389.75}}), "2013/4/25 18:00:00");
  const Variant next = CallVariantMethod(control_, "Run", {"nextDay", noon});
  EXPECT_EQ(next.Type(), VT_DATE);
  EXPECT_EQ(next.Real(), 41390.5);
  // A date the script makes is a Date object.
  EXPECT_EQ(CallVariantMethod(control_, "Run", {"copy", noon}).Type(), VT_DISPATCH);
  // Before 30 December 1899 the time of day still counts forward.
  const Variant early = CallVariantMethod(control_, "Run", {"id", DateTime{-1.25}});
  EXPECT_EQ(early.Type(), VT_DATE);
  EXPECT_EQ(early.Real(), -1.25);
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"hours", DateTime{-1.25}}), 6);
}

// Microsoft's JScript reference, VBArray object: a safe array reaches
// script as it is and goes back out as the same array.
TEST_F(ScriptValues, PassArraysThroughUnchanged) {
  const std::vector<std::uint8_t> bytes = {1, 2, 250};
  const Variant back = CallVariantMethod(control_, "Run", {"id", Variant::Array(SafeArray::Bytes(bytes, 1))});
  ASSERT_EQ(back.Type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(back.ArrayValue()->ByteData(), bytes);
  EXPECT_EQ(back.ArrayValue()->Bounds()[0].lowerBound, 1);

  SafeArray grid(VT_VARIANT, {{2, 0}, {3, 1}});
  for (std::size_t i = 0; i < grid.Size(); ++i) ASSERT_EQ(grid.Put(i, Variant::I4(static_cast<std::int32_t>(i))), S_OK);
  ASSERT_EQ(grid.Put(5, Variant::Text(u"last")), S_OK);
  const Variant gridBack = CallVariantMethod(control_, "Run", {"id", Variant::Array(grid)});
  ASSERT_EQ(gridBack.Type(), VT_ARRAY | VT_VARIANT);
  const SafeArray& array = *gridBack.ArrayValue();
  ASSERT_EQ(array.Dimensions(), 2u);
  EXPECT_EQ(array.Bounds()[1].count, 3u);
  EXPECT_EQ(array.Bounds()[1].lowerBound, 1);
  EXPECT_EQ(array.Get(4).Signed(), 4);
  EXPECT_EQ(array.Get(5).TextValue(), u"last");

  // Handed on to an object, it is still the array.
  Object dict;
  ASSERT_TRUE(Create(dict, kDictionaryProgId));
  CallMethod(control_, "AddObject", {"d", dict});
  CallMethod(control_, "AddCode", {"function keep(a) { d.Add('k', a); }"});
  CallMethod(control_, "Run", {"keep", Variant::Array(SafeArray::Bytes(bytes))});
  EXPECT_EQ(LastCall().code, S_OK);
  const Variant kept = ReadProperty(dict, "Item", {"k"});
  ASSERT_EQ(kept.Type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(kept.ArrayValue()->ByteData(), bytes);
}

// JScript objects answer GetIDsOfNames only for the names they have, as
// Wine's conformance test test_IScriptControl_get_Modules records for the
// code object: an unknown name is DISP_E_UNKNOWNNAME.
TEST_F(ScriptValues, AnswerOnlyTheNamesTheyHave) {
  const Object object = CallObjectMethod(control_, "Eval", {"({ a: 1, f: function () { return 2; } })"});
  EXPECT_EQ(ReadProperty(object, "absent").Type(), VT_EMPTY);
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  CallMethod(object, "g");
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  EXPECT_FALSE(WriteProperty(object, "b", {1}));
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  // Inherited members answer too.
  EXPECT_EQ(CallTextMethod(object, "toString"), "[object Object]");
  EXPECT_EQ(CallNumberMethod(object, "f"), 2);

  const Object code = ReadObjectProperty(control_, "CodeObject");
  EXPECT_FALSE(ReadObjectProperty(code, "id").IsEmpty());
  EXPECT_EQ(ReadProperty(code, "nothingHere").Type(), VT_EMPTY);
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
}

// JScript's Date objects: text forms and Date.parse.
class ScriptDates : public ScriptControlTest {
 protected:
  std::string Text(const std::string& expression) { return CallTextMethod(control_, "Eval", {expression}); }
  double Number(const std::string& expression) { return CallNumberMethod(control_, "Eval", {expression}); }
  bool Holds(const std::string& expression) { return CallBoolMethod(control_, "Eval", {expression}); }
};

// The forms JScript's Date prints in: toString as "Thu Jan 1 08:00:00
// UTC+0800 1970" in China's time zone, toUTCString as "Thu, 1 Jan 1970
// 00:00:00 UTC"; an invalid date as "NaN".
TEST_F(ScriptDates, PrintInJScriptsForms) {
  SKIP_UNLESS_CHINAS_TIME();
  EXPECT_EQ(Text("String(new Date(0))"), "Thu Jan 1 08:00:00 UTC+0800 1970");
  EXPECT_EQ(Text("new Date(2013, 3, 25, 23, 59, 59) + ''"), "Thu Apr 25 23:59:59 UTC+0800 2013");
  EXPECT_EQ(Text("new Date(0).toUTCString()"), "Thu, 1 Jan 1970 00:00:00 UTC");
  EXPECT_EQ(Text("new Date(0).toGMTString()"), "Thu, 1 Jan 1970 00:00:00 UTC");
  EXPECT_EQ(Text("new Date(2013, 11, 9, 7, 5, 3).toDateString()"), "Mon Dec 9 2013");
  EXPECT_EQ(Text("new Date(2013, 11, 9, 7, 5, 3).toTimeString()"), "07:05:03 UTC+0800");
  EXPECT_EQ(Text("String(new Date(NaN))"), "NaN");
  EXPECT_EQ(Text("var d = new Date(0); d.setUTCFullYear(-99); d.toUTCString()"), "Tue, 1 Jan 100 B.C. 00:00:00 UTC");
  // Only Date objects have them (JScript's 5006, "Date object expected").
  EXPECT_TRUE(Eval("Date.prototype.toString.call({})").IsEmpty());
  EXPECT_EQ(RaisedCode(), MakeCode(0x800A138E));
}

// The rules of JScript's Date.parse: month/day/year with "/" or "-",
// "2013/04/25", names of months from two letters on, any order of the long
// form, two-digit years in the 1900s, comments in parentheses, times with
// AM and PM, local time without a zone.
TEST_F(ScriptDates, ParseJScriptsForms) {
  SKIP_UNLESS_CHINAS_TIME();
  EXPECT_EQ(Number("Date.parse('2013/04/25 23:59:59')"), 1366905599000.0);
  EXPECT_TRUE(Holds("Date.parse('2013/04/25 23:59:59') === new Date(2013, 3, 25, 23, 59, 59).getTime()"));
  EXPECT_TRUE(Holds("new Date('2013/04/25 23:59:59').getDate() === 25"));
  for (const char* text : {"4/25/2013", "4-25-2013", "Apr 25 2013", "25 April 2013", "2013 Apr 25",
                           "Thursday, April 25, 2013", "Apr (the fourth month (of 12)) 25 2013", "April 25 2013 0:0"}) {
    EXPECT_TRUE(Holds(std::string("Date.parse('") + text + "') === new Date(2013, 3, 25).getTime()")) << text;
  }
  EXPECT_TRUE(Holds("new Date('Nov 1 1997 10:15 PM').getHours() === 22"));
  EXPECT_TRUE(Holds("new Date('Nov 1 1997 12:15 AM').getHours() === 0"));
  EXPECT_TRUE(Holds("isNaN(Date.parse('Nov 1 1997 23:15 PM'))"));
  EXPECT_TRUE(Holds("isNaN(Date.parse('Jan Feb 1 1997'))"));
  EXPECT_TRUE(Holds("isNaN(Date.parse('Jan 1'))"));
  // What toString and toUTCString print reads back.
  EXPECT_TRUE(Holds("var d = new Date(2013, 3, 25, 23, 59, 59); Date.parse(String(d)) === d.getTime()"));
  EXPECT_TRUE(Holds("var d = new Date(2013, 3, 25, 23, 59, 59); Date.parse(d.toUTCString()) === d.getTime()"));
}

// Cases of Wine's JScript conformance test (api.js, Date.parse) that hold
// on Windows.
TEST_F(ScriptDates, ParseTheFormsWindowsReads) {
  const std::pair<const char*, double> cases[] = {
      {"Jan 20 2009 UTC", 1232409600000.0},
      {"Jan 20 2009 GMT", 1232409600000.0},
      {"Jan 20 2009 UTC-0", 1232409600000.0},
      {"Jan 20 2009 UTC+0000", 1232409600000.0},
      {"Jan 20 2009 UTC-1", 1232413200000.0},
      {"Jan 20 2009 UTC+1", 1232406000000.0},
      {"Ju 13 79 UTC", 300672000000.0},
      {"12Au91 UTC", 681955200000.0},
      {"7/02/17 UTC", -1656806400000.0},
      {"Se001   70 12:31:17 UTC", 21040277000.0},
      {"February 31   UTC, 2000 12:31:17 PM", 952000277000.0},
      {"71 11:32AM Dec 12 UTC BC ", -64346358480000.0},
  };
  for (const auto& [text, time] : cases) {
    EXPECT_EQ(Number(std::string("Date.parse('") + text + "')"), time) << text;
  }
  EXPECT_TRUE(Holds("isNaN(Date.parse()) && isNaN(Date.parse('')) && isNaN(Date.parse('Jan Jan 20 2009'))"));
  EXPECT_TRUE(Holds("Date.parse('1970/01/01') === Date.parse('01/01/1970')"));
  EXPECT_TRUE(Holds("Date.parse('71/12/14') === Date.parse('12/14/1971')"));
  EXPECT_TRUE(
      Holds("Date.parse('Tue, 22 Mar 2016 09:57:55 -0300') === "
            "Date.parse('Tue, 22 Mar 2016 09:57:55 GMT-0300')"));
  EXPECT_TRUE(
      Holds("Date.parse('Tue, 22 Mar 2016 09:57:55 +0400') === "
            "Date.parse('Tue, 22 Mar 2016 09:57:55 UTC+0400')"));
}

// The control's Error object after failing calls.
class ScriptErrors : public ScriptControlTest {
 protected:
  void SetUp() override {
    ScriptControlTest::SetUp();
    error_ = ReadObjectProperty(control_, "Error");
  }

  // The error `code` raises, as its number and the Error object's fields.
  struct Reported {
    HRESULT raised = 0;
    int number = 0;
    std::string description;
    std::string source;
    int line = 0;
    int column = 0;
    std::string text;
  };
  Reported Report(const std::string& method, const std::string& code) {
    CallMethod(error_, "Clear");
    CallMethod(control_, method, {code});
    Reported reported;
    reported.raised = RaisedCode();
    reported.number = static_cast<int>(ReadNumberProperty(error_, "Number"));
    reported.description = ReadTextProperty(error_, "Description");
    reported.source = ReadTextProperty(error_, "Source");
    reported.line = static_cast<int>(ReadNumberProperty(error_, "Line"));
    reported.column = static_cast<int>(ReadNumberProperty(error_, "Column"));
    reported.text = ReadTextProperty(error_, "Text");
    return reported;
  }

  Object error_;
};

// Wine's conformance test test_IScriptControl_Run: Run of a name the code
// does not define (names are case-sensitive) fails with DISP_E_UNKNOWNNAME
// and leaves the Error object's Number at 0.
TEST_F(ScriptErrors, RunOfAnUnknownProcedureIsNoScriptError) {
  EXPECT_EQ(CallVariantMethod(control_, "Run", {"foobar", 10, 3}).Type(), VT_EMPTY);
  EXPECT_EQ(RaisedCode(), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ReadNumberProperty(error_, "Number"), 0);
  CallMethod(control_, "AddCode", {"function subtract(a, b) { return a - b; }\n"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(CallVariantMethod(control_, "Run", {"Subtract", 10, 3}).Type(), VT_EMPTY);
  EXPECT_EQ(RaisedCode(), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ReadNumberProperty(error_, "Number"), 0);
  EXPECT_EQ(CallNumberMethod(control_, "Run", {"subtract", 10, 3}), 7);
  EXPECT_EQ(ReadNumberProperty(error_, "Number"), 0);
}

// Wine's conformance tests test_IScriptControl_Eval, _AddCode,
// _ExecuteStatement and _get_Error: "invalid syntax" fails with 0x800A03EC
// and Error.Number 1004; the error of "this is an invalid line" is on line
// 3, column 5, with that line as its Text. The wording is that of
// Microsoft's "JScript Syntax Errors" list.
TEST_F(ScriptErrors, ReportSyntaxErrorsAsJScriptDoes) {
  for (const char* method : {"Eval", "AddCode", "ExecuteStatement"}) {
    const Reported syntax = Report(method, "invalid syntax");
    EXPECT_EQ(syntax.raised, MakeCode(0x800A03EC)) << method;
    EXPECT_EQ(syntax.number, 1004) << method;
    EXPECT_EQ(syntax.description, "Expected ';'") << method;
    EXPECT_EQ(syntax.source, "Microsoft JScript compilation error") << method;
  }
  const Reported placed = Report("AddCode", "var valid_var = 1;\n// comment\nthis is an invalid line\n");
  EXPECT_EQ(placed.number, 1004);
  EXPECT_EQ(placed.line, 3);
  EXPECT_EQ(placed.column, 5);
  EXPECT_EQ(placed.text, "this is an invalid line");
  // Nothing of the code ran.
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"typeof valid_var"}), "undefined");

  const std::pair<const char*, int> cases[] = {
      {"1 +", 1002},
      {"var s = 'abc", 1015},
      {"/* never closed", 1016},
      {"return 1;", 1018},
      {"break;", 1019},
      {"continue;", 1020},
      {"while (true) { break nowhere; }", 1026},
      {"here: here: ;", 1025},
      {"switch (1) { default: break; default: break; }", 1027},
      {"try { }", 1033},
      {"throw\n1;", 1035},
      {"var # = 1;", 1014},
      {"var s = '\\x4';", 1023},
      {"var = 2;", 1010},
  };
  for (const auto& [code, number] : cases) {
    const Reported reported = Report("ExecuteStatement", code);
    EXPECT_EQ(reported.number, number) << code;
    EXPECT_EQ(reported.raised, MakeCode(0x800A0000 | static_cast<std::uint32_t>(number))) << code;
    EXPECT_FALSE(reported.description.empty()) << code;
    EXPECT_EQ(reported.source, "Microsoft JScript compilation error") << code;
  }
  EXPECT_EQ(Report("ExecuteStatement", "break;").description, "Can't have 'break' outside of loop");
  EXPECT_EQ(Report("ExecuteStatement", "var s = 'abc").description, "Unterminated string constant");
}

// Microsoft's "JScript Run-time Errors" list: the number and wording of
// each run-time error; Error.Number is the number, the call raises
// 0x800A0000 plus it.
TEST_F(ScriptErrors, ReportRuntimeErrorsAsJScriptDoes) {
  const struct {
    const char* code;
    int number;
    const char* description;
  } cases[] = {
      {"nothing.here = 2;", 5009, "Undefined identifier"},
      {"var o = null; o.x;", 5007, "Object expected"},
      {"var o = {}; o.f();", 438, "Object doesn't support this property or method"},
      {"var x = 1; x();", 5002, "Function expected"},
      {"new Array(-1);", 5029, "Array length must be a finite positive integer"},
      {"decodeURI('%');", 5025, "The URI to be decoded is not a valid encoding"},
      {"new RegExp('(');", 5020, "Expected ')' in regular expression"},
      {"throw 'thrown';", 5022, "Exception thrown and not caught"},
  };
  for (const auto& c : cases) {
    const Reported reported = Report("ExecuteStatement", c.code);
    EXPECT_EQ(reported.number, c.number) << c.code;
    EXPECT_EQ(reported.raised, MakeCode(0x800A0000 | static_cast<std::uint32_t>(c.number))) << c.code;
    EXPECT_EQ(reported.description, c.description) << c.code;
    EXPECT_EQ(reported.source, "Microsoft JScript runtime error") << c.code;
    EXPECT_EQ(reported.line, 1) << c.code;
    EXPECT_EQ(reported.text, "") << c.code;
  }
}

// Microsoft's JScript reference, Error object: an error carries its number
// and description; thrown and not caught, they are the call's error.
TEST_F(ScriptErrors, ReportAThrownErrorsOwnNumber) {
  const Reported own = Report("ExecuteStatement", "var e = new Error('mine'); e.number = 42; throw e;");
  EXPECT_EQ(own.number, 42);
  EXPECT_EQ(own.raised, MakeCode(0x800A002A));
  EXPECT_EQ(own.description, "mine");
  // Without a number of its own, an error thrown and not caught.
  const Reported plain = Report("ExecuteStatement", "throw new Error('plain');");
  EXPECT_EQ(plain.number, 5022);
  EXPECT_EQ(plain.description, "plain");
  const Reported jscript = Report(
      "ExecuteStatement", "try { null.x; } catch (e) { var f = new Error('again'); f.number = -2146823281; throw f; }");
  EXPECT_EQ(jscript.number, 5007);
  EXPECT_EQ(jscript.raised, MakeCode(0x800A138F));

  // An object's own error goes through the script as its number.
  Object dict;
  ASSERT_TRUE(Create(dict, kDictionaryProgId));
  CallMethod(control_, "AddObject", {"d", dict});
  const Reported host = Report("ExecuteStatement", "d.Add('k', 1);\nd.Add('k', 2);");
  EXPECT_EQ(host.number, 457);
  EXPECT_EQ(host.raised, MakeCode(0x800A01C9));
  EXPECT_EQ(host.description, "This key is already associated with an element of this collection");
  EXPECT_EQ(host.line, 2);
  EXPECT_EQ(Report("ExecuteStatement", "d.NoSuchMethod();").number, 438);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"try { d.Add('k', 3); '' } catch (e) { (e.number & 0xFFFF) + '' }"}),
            "457");
}

// Line and Column point at the statement that failed, in the code it was
// written in.
TEST_F(ScriptErrors, PlaceRuntimeErrorsAtTheirStatement) {
  const Reported nested = Report("ExecuteStatement", "var a = 1;\n  nothing.here = 2;");
  EXPECT_EQ(nested.line, 2);
  EXPECT_EQ(nested.column, 2);
  const Reported thrown = Report("ExecuteStatement", "var b = 2;\n\nthrow 'x';");
  EXPECT_EQ(thrown.line, 3);
  EXPECT_EQ(thrown.column, 0);

  CallMethod(control_, "AddCode", {"function f() {\n    return null.x;\n}"});
  CallMethod(error_, "Clear");
  CallMethod(control_, "Run", {"f"});
  EXPECT_EQ(RaisedCode(), MakeCode(0x800A138F));
  EXPECT_EQ(ReadNumberProperty(error_, "Line"), 2);
  EXPECT_EQ(ReadNumberProperty(error_, "Column"), 4);
}

// Controls made one after another on a thread share a Duktape heap: each
// must still start as a new control does, whatever the one before it did.
class ScriptControlsInTurn : public ::testing::Test {
 protected:
  static Object NewControl() {
    Object control;
    EXPECT_TRUE(Create(control, kScriptControlProgId));
    EXPECT_TRUE(WriteProperty(control, "Language", {"JavaScript"}));
    return control;
  }
  // Runs `code` in a control of its own that then ends.
  static void RunAndEnd(const std::string& code) {
    Object control = NewControl();
    CallMethod(control, "ExecuteStatement", {code});
  }
  static std::string EvalInNew(const std::string& expression) {
    const Object control = NewControl();
    return CallTextMethod(control, "Eval", {expression});
  }
};

TEST_F(ScriptControlsInTurn, SeeNothingTheControlBeforeDefinedOrChanged) {
  struct Case {
    const char* code;      // what a control does before it ends
    const char* check;     // evaluated in the next control
    const char* expected;  // as in a new control
  };
  const Case cases[] = {
      {"var leaked = 1;", "typeof leaked", "undefined"},
      {"function Subs() { return 1; }", "typeof Subs", "undefined"},
      {"this.viaThis = 2; this[0] = 3;", "typeof viaThis + ' ' + typeof this[0]", "undefined undefined"},
      {"Object.defineProperty(this, 'fixed', {value: 1, configurable: false});", "typeof fixed", "undefined"},
      {"Object = 1;", "typeof Object", "function"},
      {"delete parseInt;", "typeof parseInt", "function"},
      {"Array.prototype.extra = 3;", "typeof [].extra", "undefined"},
      {"Array.prototype[0] = 'x';", "typeof [][0]", "undefined"},
      {"Object.prototype.poison = 4;", "typeof ({}).poison", "undefined"},
      {"Math.max = function () { return 0; };", "Math.max(1, 2)", "2"},
      {"Array.prototype.push.tag = 1;", "typeof [].push.tag", "undefined"},
      {"Object.defineProperty(Array.prototype, 'push', {enumerable: true});",
       "String(Array.prototype.propertyIsEnumerable('push'))", "false"},
      {"Object.freeze(JSON);", "String(Object.isFrozen(JSON))", "false"},
      {"Object.setPrototypeOf(Math, null);", "String(Object.getPrototypeOf(Math) === Object.prototype)", "true"},
      {"String.prototype.trim = null;", "' a '.trim()", "a"},
      {"Date.prototype.getTime = function () { return 5; };", "new Date(7).getTime()", "7"},
      // A finalizer that would define a global when it runs, after the
      // control has ended.
      {"var o = {}; o.self = o; if (typeof Duktape != 'undefined') Duktape.fin(o, function () { late = 1; });"
       " o = null;",
       "typeof late", "undefined"},
  };
  for (const Case& c : cases) {
    RunAndEnd(c.code);
    ASSERT_EQ(LastCall().code, S_OK) << c.code;
    EXPECT_EQ(EvalInNew(c.check), c.expected) << c.code;
    // And after a control that changed nothing.
    EXPECT_EQ(EvalInNew(c.check), c.expected) << c.code;
  }
}

TEST_F(ScriptControlsInTurn, SeeNothingOfAnotherControlAliveBesideThem) {
  const Object first = NewControl();
  CallMethod(first, "ExecuteStatement", {"var mine = 'first'; Array.prototype.extra = 1;"});
  const Object second = NewControl();
  EXPECT_EQ(CallTextMethod(second, "Eval", {"typeof mine + ' ' + typeof [].extra"}), "undefined undefined");
  CallMethod(second, "ExecuteStatement", {"var mine = 'second';"});
  EXPECT_EQ(CallTextMethod(first, "Eval", {"mine"}), "first");
  EXPECT_EQ(CallTextMethod(second, "Eval", {"mine"}), "second");
}

// An object handed out keeps its control's globals as they were, also once
// the control is gone, and later controls do not see them.
TEST_F(ScriptControlsInTurn, LeaveWhatTheyHandedOutToItsHolder) {
  Object object;
  {
    const Object control = NewControl();
    CallMethod(control, "ExecuteStatement", {"var kept = 'kept'; function Get() { return { value: kept }; }"});
    object = CallVariantMethod(control, "Run", {"Get"}).ObjectValue();
    ASSERT_FALSE(object.IsEmpty());
  }
  EXPECT_EQ(EvalInNew("typeof kept"), "undefined");
  EXPECT_EQ(ReadTextProperty(object, "value"), "kept");
}

TEST_F(ScriptControlsInTurn, StartWithTheDefaultTimeoutAfterOneRanPastItsOwn) {
  {
    const Object control = NewControl();
    WriteProperty(control, "Timeout", {50});
    CallMethod(control, "ExecuteStatement", {"var stuck = 1; for (;;) {}"});
    EXPECT_EQ(RaisedCode(), kTimedOut);
  }
  const Object control = NewControl();
  EXPECT_EQ(ReadNumberProperty(control, "Timeout"), 10000);
  EXPECT_EQ(CallTextMethod(control, "Eval", {"typeof stuck"}), "undefined");
  EXPECT_EQ(CallNumberMethod(control, "Eval", {"var s = 0; for (var i = 0; i < 200000; ++i) s += i % 3; s"}), 199999);
  EXPECT_EQ(LastCall().code, S_OK);
}

// Each control's code may hold 64 MiB: one that used all of it, or still
// held much when it ended, leaves the next with all of its own. The loops
// are bounded as in FailsAScriptThatEatsMemoryWithAScriptErrorAndStaysUsable.
TEST_F(ScriptControlsInTurn, EachHaveTheirFullMemory) {
  const char* kFill = "var held = []; for (var i = 0; i < 1024; ++i) held.push('x'.repeat(1 << 20) + i);";
  // Two strings of 30 MiB: the repeat's own buffer and the string it makes.
  const char* kLarge = "'y'.repeat(30 << 20).length";
  {
    const Object control = NewControl();
    CallMethod(control, "ExecuteStatement", {kFill});
    EXPECT_EQ(RaisedCode(), kOutOfMemory);
    // What the script holds is out of what it may take.
    EXPECT_EQ(CallVariantMethod(control, "Eval", {kLarge}).Type(), VT_EMPTY);
  }
  EXPECT_EQ(EvalInNew(kLarge), std::to_string(30 << 20));
  EXPECT_EQ(LastCall().code, S_OK);
  // The same beside a control that holds its memory still.
  const Object full = NewControl();
  CallMethod(full, "ExecuteStatement", {kFill});
  EXPECT_EQ(RaisedCode(), kOutOfMemory);
  EXPECT_EQ(EvalInNew(kLarge), std::to_string(30 << 20));
  EXPECT_EQ(LastCall().code, S_OK);
}

TEST_F(ScriptControlsInTurn, OnTwoThreadsKeepToThemselves) {
  auto work = [](const std::string& name, std::string& failure) {
    for (int i = 0; i < 40 && failure.empty(); ++i) {
      const Object control = NewControl();
      const std::string seen = CallTextMethod(control, "Eval", {"typeof owner + typeof count"});
      CallMethod(control, "ExecuteStatement",
                 {"var owner = '" + name + "'; var count = 0; function Add(n) { count += n; return owner + count; }"});
      const std::string added = CallTextMethod(control, "Run", {"Add", i});
      const std::string expected = name + std::to_string(i);
      if (seen != "undefinedundefined" || added != expected) {
        failure = name + " " + std::to_string(i) + ": saw " + seen + ", added " + added;
      }
    }
  };
  std::string first;
  std::string second;
  std::thread one(work, "one", std::ref(first));
  std::thread two(work, "two", std::ref(second));
  one.join();
  two.join();
  EXPECT_EQ(first, "");
  EXPECT_EQ(second, "");
}

}  // namespace
}  // namespace rankora::components
