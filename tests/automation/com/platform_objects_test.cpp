// The platform's own automation objects behind the layer's one road:
// creation by ProgID and CLSID, binding under each kind, values both ways.
#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/dispatch.h"
#include "automation/variant.h"
#include "probe_component.h"

namespace rankora::automation {
namespace {

struct PlatformClass {
  const char* progId;
  const char* clsid;
  const char* member;  // a property that can be read at once
};

constexpr PlatformClass kClasses[] = {
    {"Scripting.Dictionary", "{EE09B103-97E0-11CF-978F-00A02463E06F}", "Count"},
    {"VBScript.RegExp", "{3F4DACA4-160D-11D2-A8E9-00104B365C9F}", "Global"},
    {"ScriptControl", "{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}", "Timeout"},
    {"WinHttp.WinHttpRequest.5.1", "{2087C2F4-2CEF-4953-A8AB-66779B670495}", "Option"},
};

class PlatformObjects : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(PlatformObjects, AreCreatedByProgIdAndByClsid) {
  for (const PlatformClass& platformClass : kClasses) {
    SCOPED_TRACE(platformClass.progId);
    Object byName;
    ASSERT_TRUE(Create(byName, platformClass.progId)) << std::hex << LastCall().code;
    Object byClsid;
    ASSERT_TRUE(Create(byClsid, platformClass.clsid)) << std::hex << LastCall().code;
    EXPECT_TRUE(byName->HasTypeInfo());
    EXPECT_NE(byName->Bind(platformClass.member, InvokeKind::PropertyGet), nullptr);
    EXPECT_NE(byClsid->Bind(platformClass.member, InvokeKind::PropertyGet), nullptr);
  }
}

TEST_F(PlatformObjects, UnknownClassesFailWithThePlatformsCode) {
  Object object;
  EXPECT_FALSE(Create(object, "Rankora.NoSuchClass"));
  EXPECT_EQ(LastCall().code, CO_E_CLASSSTRING);
  EXPECT_FALSE(Create(object, "{00000000-1111-2222-3333-444444444444}"));
  EXPECT_EQ(LastCall().code, REGDB_E_CLASSNOTREG);
  EXPECT_TRUE(object.IsEmpty());
  // The layer's own components still answer the names the platform lacks.
  EXPECT_TRUE(Create(object, testing::kProbeProgId));
}

TEST_F(PlatformObjects, AreCreatedThroughATypeLibraryByTheClassName) {
  const std::string byName = "scrrun.dll";
  const std::string byPath = "C:\\windows\\system32\\scrrun.dll";  // a path is registered as well
  for (const std::string* library : {&byName, &byPath}) {
    SCOPED_TRACE(*library);
    Object dictionary;
    ASSERT_TRUE(Create(dictionary, "Dictionary", library)) << std::hex << LastCall().code;
    CallMethod(dictionary, "Add", {"a", 1});
    EXPECT_EQ(ReadNumberProperty(dictionary, "Count"), 1);
  }
  Object object;
  const std::string missing = "no-such-library.tlb";
  EXPECT_FALSE(Create(object, "Dictionary", &missing));
  EXPECT_LT(LastCall().code, 0);
  EXPECT_FALSE(Create(object, "NoSuchClass", &byName));
  EXPECT_EQ(LastCall().code, TYPE_E_ELEMENTNOTFOUND);
  EXPECT_TRUE(object.IsEmpty());
}

TEST_F(PlatformObjects, BindEachKindOfMemberAndFailUnknownNames) {
  Object dictionary;
  ASSERT_TRUE(Create(dictionary, "Scripting.Dictionary"));
  EXPECT_NE(dictionary->Bind("Exists", InvokeKind::Method), nullptr);
  EXPECT_NE(dictionary->Bind("count", InvokeKind::PropertyGet), nullptr);  // any case
  EXPECT_NE(dictionary->Bind("CompareMode", InvokeKind::PropertyPut), nullptr);
  EXPECT_NE(dictionary->Bind("Item", InvokeKind::PropertyPutRef), nullptr);
  EXPECT_EQ(dictionary->Bind("Count", InvokeKind::Method), nullptr);

  EXPECT_TRUE(WriteProperty(dictionary, "CompareMode", {1}));
  CallMethod(dictionary, "Add", {"Key", "value"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_TRUE(CallBoolMethod(dictionary, "Exists", {"KEY"}));  // text comparison now
  EXPECT_EQ(ReadNumberProperty(dictionary, "Count"), 1);
  EXPECT_EQ(ReadTextProperty(dictionary, "Item", {"key"}), "value");

  EXPECT_EQ(ReadTextProperty(dictionary, "NoSuchMember"), "");
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  EXPECT_FALSE(WriteProperty(dictionary, "NoSuchMember", {1}));
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  CallMethod(dictionary, "Add", {"Key", "again"});  // the server's own refusal
  EXPECT_LT(LastCall().code, 0);
}

TEST_F(PlatformObjects, CarryEveryValueKindBothWays) {
  Object dictionary;
  ASSERT_TRUE(Create(dictionary, "Scripting.Dictionary"));
  const Variant values[] = {
      Variant::Null(),
      Variant::Bool(true),
      Variant::I2(-2),
      Variant::I4(-70000),
      Variant::R4(1.5F),
      Variant::R8(0.1),
      Variant::Date(45000.25),
      Variant::Currency(12345678),
      Variant::UI1(200),
      Variant::Text(u"权重 ok"),
      Variant::Error(MakeCode(0x800A0005)),
  };
  for (int i = 0; i < static_cast<int>(std::size(values)); ++i) {
    CallMethod(dictionary, "Add", {i, values[i]});
    ASSERT_EQ(LastCall().code, S_OK) << i;
  }
  for (int i = 0; i < static_cast<int>(std::size(values)); ++i) {
    SCOPED_TRACE(i);
    const Variant back = ReadProperty(dictionary, "Item", {i});
    ASSERT_EQ(back.Type(), values[i].Type());
    EXPECT_EQ(back.Signed(), values[i].Signed());
    EXPECT_EQ(back.TextValue(), values[i].TextValue());
  }
  EXPECT_EQ(ReadTextProperty(dictionary, "Item", {9}), "\xC8\xA8\xD6\xD8 ok");  // GBK through UTF-16 and back
}

TEST_F(PlatformObjects, CarryArraysWithTheirBoundsAndDimensions) {
  Object dictionary;
  ASSERT_TRUE(Create(dictionary, "Scripting.Dictionary"));
  SafeArray grid(VT_VARIANT, {ArrayBound{2, 0}, ArrayBound{3, 1}});
  for (std::size_t i = 0; i < grid.Size(); ++i) ASSERT_EQ(grid.Put(i, Variant::I4(static_cast<std::int32_t>(i))), S_OK);
  const std::uint8_t raw[] = {0, 1, 0xFE, 0xFF};
  CallMethod(dictionary, "Add", {"grid", Variant::Array(grid)});
  CallMethod(dictionary, "Add", {"bytes", Variant::Array(SafeArray::Bytes(raw, 5))});
  const Variant gridBack = ReadProperty(dictionary, "Item", {"grid"});
  ASSERT_EQ(gridBack.Type(), VT_ARRAY | VT_VARIANT);
  const SafeArray& array = *gridBack.ArrayValue();
  ASSERT_EQ(array.Dimensions(), 2U);
  EXPECT_EQ(array.Bounds()[1].count, 3U);
  EXPECT_EQ(array.Bounds()[1].lowerBound, 1);
  for (std::size_t i = 0; i < array.Size(); ++i) EXPECT_EQ(array.Get(i).Signed(), static_cast<std::int64_t>(i));
  const Variant bytesBack = ReadProperty(dictionary, "Item", {"bytes"});
  ASSERT_EQ(bytesBack.Type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(bytesBack.ArrayValue()->ByteData(), std::vector<std::uint8_t>(std::begin(raw), std::end(raw)));
  EXPECT_EQ(bytesBack.ArrayValue()->Bounds()[0].lowerBound, 5);
}

TEST_F(PlatformObjects, GiveTheLayersOwnComponentsBackAsThemselves) {
  Object dictionary;
  ASSERT_TRUE(Create(dictionary, "Scripting.Dictionary"));
  Object probe;
  ASSERT_TRUE(Create(probe, testing::kProbeProgId));
  CallMethod(dictionary, "Add", {"probe", probe});
  ASSERT_EQ(LastCall().code, S_OK);
  const Object back = ReadObjectProperty(dictionary, "Item", {"probe"});
  EXPECT_EQ(back, probe);

  // A platform object calls into the component through the adapter.
  Object script;
  ASSERT_TRUE(Create(script, "ScriptControl"));
  ASSERT_TRUE(WriteProperty(script, "Language", {"JavaScript"}));
  CallMethod(script, "AddObject", {"probe", probe, false});
  ASSERT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(CallTextMethod(script, "Eval", {"probe.Echo('hi') + probe.Value"}), "hi0");
  EXPECT_EQ(testing::ProbeOf(probe).calls.size(), 2U);
}

TEST_F(PlatformObjects, PackTrailingArgumentsForAVariableList) {
  Object script;
  ASSERT_TRUE(Create(script, "ScriptControl"));
  ASSERT_TRUE(WriteProperty(script, "Language", {"JavaScript"}));
  CallMethod(script, "AddCode", {"function Subs(a, b, c) { return a + '|' + b + '|' + c; }"});
  EXPECT_EQ(CallTextMethod(script, "Run", {"Subs", "x", 2, true}), "x|2|true");
  EXPECT_EQ(CallTextMethod(script, "Run", {"Subs", "only"}), "only|undefined|undefined");
  EXPECT_EQ(CallTextMethod(script, "Run", {"Subs"}), "undefined|undefined|undefined");
}

TEST_F(PlatformObjects, ReportTheServersExceptionInTheLastCallState) {
  Object script;
  ASSERT_TRUE(Create(script, "ScriptControl"));
  ASSERT_TRUE(WriteProperty(script, "Language", {"JavaScript"}));
  EXPECT_EQ(CallTextMethod(script, "Eval", {"throw new Error('boom')"}), "");
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_LT(LastCall().excep.code, 0);
}

TEST(PlatformApartments, InitialiseThePlatformAndCountEveryCall) {
  const int before = ApartmentCount();
  EXPECT_GE(CoInitialize(), 0);
  EXPECT_EQ(CoInitialize(), S_FALSE);
  Object dictionary;
  EXPECT_TRUE(Create(dictionary, "Scripting.Dictionary"));  // needs the platform's COM on this thread
  dictionary.Clear();
  CoUninitialize();
  CoUninitialize();
  EXPECT_EQ(ApartmentCount(), before);
}

}  // namespace
}  // namespace rankora::automation
