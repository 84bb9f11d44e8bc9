#include "script/script_engine.h"

#include <gtest/gtest.h>

#include <chrono>

#include "automation/apartment.h"
#include "automation/assign.h"
#include "automation/dispatch.h"
#include "automation/reading.h"
#include "platform_deviations.h"
#include "text/gbk.h"

namespace rankora::script {
namespace {

using namespace automation;

// The extraction script of the weight lookup, character for character.
constexpr char kSubs[] = "function Subs(t,s,e){var c;c=t.indexOf(s)+s.length;return(t.substr(c,t.indexOf(e,c)-c));}";
constexpr char kPrefix[] = "http://static.aizhan.com/images/brs/";

ArgumentList Texts(std::initializer_list<std::string> texts) {
  std::vector<Variant> elements(texts.size());
  std::size_t i = 0;
  for (const std::string& text : texts) EXPECT_TRUE(Assign(elements[i++], text));
  return ArgumentList::Of(std::move(elements));
}

std::string Subs(const std::string& page) {
  ScriptEngine engine;
  EXPECT_TRUE(engine.SetLanguage());
  engine.ExecuteStatement(kSubs);
  const ArgumentList args = Texts({page, kPrefix, ".gif"});
  return GetText(engine.Run("Subs", &args));
}

TEST(ScriptEngine, MakesAJavaScriptControl) {
  ScriptEngine engine;
  EXPECT_FALSE(engine.GetControl().IsEmpty());
  EXPECT_TRUE(engine.SetLanguage());
  EXPECT_EQ(engine.GetLanguage(), "JScript");
  EXPECT_EQ(engine.GetTimeout(), 10000);
  EXPECT_TRUE(engine.SetTimeout(-1));
  EXPECT_EQ(engine.GetTimeout(), -1);
  EXPECT_TRUE(engine.GetAllowUI());
  EXPECT_FALSE(engine.GetUseSafeSubset());
  EXPECT_EQ(engine.GetState(), 0);
  EXPECT_TRUE(engine.SetState(1));
  EXPECT_EQ(engine.GetState(), 1);
  EXPECT_FALSE(engine.SetState(7));
  // The in-house control knows JavaScript alone; the platform's has VBScript too.
  EXPECT_EQ(engine.SetLanguage("VBScript"),
            automation::WhoProvides("ScriptControl") == automation::Provider::kPlatform);
  EXPECT_FALSE(engine.GetModules().IsEmpty());
  EXPECT_FALSE(engine.GetCodeObject().IsEmpty());
  EXPECT_FALSE(engine.GetProcedures().IsEmpty());
}

TEST(ScriptEngine, CreateWithAnEmptyNameFailsAndKeepsTheControl) {
  ScriptEngine engine;
  const Object before = engine.GetControl();
  EXPECT_FALSE(engine.Create(""));
  EXPECT_EQ(engine.GetControl(), before);
  EXPECT_TRUE(engine.Create());
  EXPECT_NE(engine.GetControl(), before);
}

TEST(ScriptEngine, EvaluatesTheMillisecondClock) {
  ScriptEngine engine;
  engine.SetLanguage();
  const std::string stamp = GetText(engine.Eval("new Date().getTime()"));
  ASSERT_EQ(stamp.size(), 13u) << stamp;
  EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos);
  const auto now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  EXPECT_LT(std::llabs(std::stoll(stamp) - now), 5000);
}

TEST(ScriptEngine, RunsTheExtractionScriptByItsRules) {
  const std::string prefix = kPrefix;
  EXPECT_EQ(Subs("<p>weight <img src=\"" + prefix + "3.gif\"></p>"), "3");
  EXPECT_EQ(Subs("<img src=\"" + prefix + "5.gif\"><img src=\"" + prefix + "7.gif\">"), "5");
  EXPECT_EQ(Subs(prefix + ".gif"), "");
  EXPECT_EQ(Subs(""), "");
  // Without the prefix the cut starts at the prefix's length less one.
  const std::string noPrefix = std::string(35, 'x') + "tail.gif";
  EXPECT_EQ(Subs(noPrefix), "tail");
  EXPECT_EQ(Subs("<html>no weight here at all, nothing</html>"), "");
  // Chinese pages keep their characters.
  EXPECT_EQ(Subs(text::Gbk("<b>权重</b>") + prefix + text::Gbk("十.gif")), text::Gbk("十"));
}

TEST(ScriptEngine, PassesAtMostTenArguments) {
  ScriptEngine engine;
  engine.SetLanguage();
  engine.ExecuteStatement("function count() { return arguments.length; }");
  engine.ExecuteStatement("function last() { return arguments[arguments.length - 1]; }");
  std::vector<Variant> twelve(12);
  for (int i = 0; i < 12; ++i) Assign(twelve[static_cast<std::size_t>(i)], i + 1);
  const ArgumentList args = ArgumentList::Of(twelve);
  EXPECT_EQ(GetNumber(engine.Run("count", &args)), 10);
  EXPECT_EQ(GetNumber(engine.Run("last", &args)), 10);
  EXPECT_EQ(GetNumber(engine.Run("count")), 0);
  const ArgumentList none;
  EXPECT_EQ(GetNumber(engine.Run("count", &none)), 0);
}

TEST(ScriptEngine, PassesAManyDimensionalListInStorageOrder) {
  ScriptEngine engine;
  engine.SetLanguage();
  engine.ExecuteStatement("function join() { return Array.prototype.join.call(arguments, ','); }");
  ArgumentList grid;
  grid.dimensions = {2, 3};
  for (const char* element : {"a", "b", "c", "d", "e", "f"}) Assign(grid.elements.emplace_back(), element);
  EXPECT_EQ(GetText(engine.Run("join", &grid)), "a,b,c,d,e,f");
}

TEST(ScriptEngine, PassesBooleansAndTheLowBitsOf64BitIntegers) {
  ScriptEngine engine;
  engine.SetLanguage();
  engine.ExecuteStatement("function show(x) { return typeof x + ':' + x; }");
  std::vector<Variant> values(2);
  Assign(values[0], true);
  Assign(values[1], std::int64_t{0x100000007});
  const ArgumentList truth = ArgumentList::Of({values[0]});
  const ArgumentList wide = ArgumentList::Of({values[1]});
  EXPECT_EQ(GetText(engine.Run("show", &truth)), "boolean:true");
  EXPECT_EQ(GetText(engine.Run("show", &wide)), "number:7");
  // A by-reference element crosses as the value it refers to.
  Variant target = Variant::Text(u"ref");
  const ArgumentList byRef = ArgumentList::Of({Variant::ByRef(target, VT_BSTR)});
  EXPECT_EQ(GetText(engine.Run("show", &byRef)), "string:ref");
}

TEST(ScriptEngine, ScriptErrorsGiveEmptyResultsAndFillError) {
  ScriptEngine engine;
  engine.SetLanguage();
  const Object error = engine.GetError();
  // A procedure that is not there is no script error (Wine's conformance
  // test test_IScriptControl_Run).
  const Variant missing = engine.Run("NoSuchProcedure");
  EXPECT_TRUE(missing.IsEmpty());
  EXPECT_EQ(GetText(missing), "");
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 0);

  EXPECT_TRUE(engine.Eval("this is not script").IsEmpty());
  EXPECT_NE(ReadNumberProperty(error, "Number"), 0);
  EXPECT_EQ(engine.ExecuteStatement("}"), 0);
  EXPECT_EQ(engine.AddCode("function ok() {}"), 0);
  EXPECT_EQ(engine.GetError(), error);
}

TEST(ScriptEngine, ScriptErrorsCarryTheLanguagesNumberAndText) {
  RANKORA_SKIP_UNDER_WINE("msscript-error-number");
  ScriptEngine engine;
  engine.SetLanguage();
  EXPECT_TRUE(engine.Eval("this is not script").IsEmpty());
  const Object error = engine.GetError();
  EXPECT_EQ(ReadNumberProperty(error, "Number"), 1004);
  EXPECT_EQ(ReadTextProperty(error, "Description"), "Expected ';'");
}

TEST(ScriptEngine, ResetsAndTakesObjects) {
  ScriptEngine engine;
  engine.SetLanguage();
  Object dict;
  ASSERT_TRUE(Create(dict, "Scripting.Dictionary"));
  engine.AddObject("d", dict);
  engine.ExecuteStatement("d.Add('k', 'v')");
  EXPECT_EQ(ReadTextProperty(dict, "Item", {"k"}), "v");
  engine.Reset();
  EXPECT_EQ(engine.GetLanguage(), "JScript");
}

TEST(ScriptEngine, ResetDiscardsAddedObjects) {
  RANKORA_SKIP_UNDER_WINE("msscript-reset-objects");
  ScriptEngine engine;
  engine.SetLanguage();
  Object dict;
  ASSERT_TRUE(Create(dict, "Scripting.Dictionary"));
  engine.AddObject("d", dict);
  EXPECT_EQ(GetText(engine.Eval("typeof d")), "object");
  engine.Reset();
  EXPECT_EQ(GetText(engine.Eval("typeof d")), "undefined");
}

TEST(ScriptEngine, CopiesShareTheControlAndKeepTheApartmentsBalanced) {
  const int before = ApartmentCount();
  {
    ScriptEngine engine;
    EXPECT_EQ(ApartmentCount(), before + 1);
    engine.SetLanguage();
    engine.ExecuteStatement("var n = 41;");
    {
      const ScriptEngine copy = engine;  // NOLINT(performance-unnecessary-copy-initialization): the copy is the test
      EXPECT_EQ(copy.GetControl(), engine.GetControl());
      EXPECT_EQ(engine.GetControl()->RefCount(), 3u);  // two engines and the value just read
    }
    EXPECT_EQ(GetNumber(engine.Eval("n + 1")), 42);
  }
  EXPECT_EQ(ApartmentCount(), before);
}

}  // namespace
}  // namespace rankora::script
