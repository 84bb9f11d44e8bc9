#include "automation/dispatch.h"

#include <gtest/gtest.h>

#include <thread>

#include "automation/apartment.h"
#include "automation/registry.h"
#include "probe_component.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

using testing::kOpaqueProgId;
using testing::kProbeClsid;
using testing::kProbeProgId;
using testing::Probe;
using testing::ProbeOf;

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Create(object_, kProbeProgId)); }
  Probe& probe() { return ProbeOf(object_); }
  const Probe::Call& lastCall() { return probe().calls.back(); }

  Object object_;
};

// As a wrapper does, so that the platform's classes can be asked too.
class Creation : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(Creation, FindsClassesByProgIdInAnyCaseOrByClsid) {
  Object object;
  EXPECT_TRUE(Create(object, "rankora.PROBE"));
  EXPECT_FALSE(object.IsEmpty());
  Object byClsid;
  std::string lower = kProbeClsid;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_TRUE(Create(byClsid, lower));
  EXPECT_NE(byClsid, object);
}

TEST_F(Creation, FailsForUnknownNamesAndKeepsWhatTheValueHeld) {
  Object object;
  ASSERT_TRUE(Create(object, kProbeProgId));
  const Object before = object;
  EXPECT_FALSE(Create(object, "No.Such.Class"));
  EXPECT_EQ(LastCall().code, CO_E_CLASSSTRING);
  EXPECT_FALSE(Create(object, "{not-a-clsid}"));
  EXPECT_EQ(LastCall().code, CO_E_CLASSSTRING);
  EXPECT_FALSE(Create(object, "{00000000-0000-0000-0000-000000000001}"));
  EXPECT_EQ(LastCall().code, REGDB_E_CLASSNOTREG);
  const std::string library = "probe.tlb";
  EXPECT_FALSE(Create(object, kProbeProgId, &library));
  EXPECT_EQ(LastCall().code, TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(object, before);
}

TEST_F(Creation, AWithheldProgIdFailsWithItsCodeUntilTheWithholdingEnds) {
  EXPECT_TRUE(IsRegistered("Rankora.probe"));
  EXPECT_FALSE(IsRegistered("No.Such.Class"));
  Object object;
  {
    const ClassWithheld missing("RANKORA.Probe", kModuleNotFound);
    EXPECT_FALSE(Create(object, kProbeProgId));
    EXPECT_EQ(LastCall().code, kModuleNotFound);
    EXPECT_TRUE(object.IsEmpty());
    // The class itself is still there by its CLSID.
    EXPECT_TRUE(Create(object, kProbeClsid));
  }
  EXPECT_TRUE(Create(object, kProbeProgId));
  EXPECT_EQ(WithheldCode(kProbeProgId), S_OK);
}

TEST_F(Creation, TellsWhoProvidesAClass) {
  HRESULT code = E_FAIL;
  // The probe is no class of the platform's, on any system.
  EXPECT_EQ(WhoProvides("Rankora.Probe", &code), Provider::kInHouse);
  EXPECT_EQ(code, S_OK);
  EXPECT_EQ(WhoProvides("No.Such.Class", &code), Provider::kNone);
  EXPECT_EQ(code, CO_E_CLASSSTRING);
  const ClassWithheld missing(kProbeProgId);
  EXPECT_EQ(WhoProvides(kProbeProgId, &code), Provider::kNone);
  EXPECT_EQ(code, REGDB_E_CLASSNOTREG);
}

TEST_F(Creation, ReleasesThePreviousObjectOnSuccess) {
  const int alive = Probe::alive;
  Object object;
  ASSERT_TRUE(Create(object, kProbeProgId));
  ASSERT_TRUE(Create(object, kProbeProgId));
  EXPECT_EQ(Probe::alive, alive + 1);
  object.Clear();
  EXPECT_EQ(Probe::alive, alive);
}

TEST_F(DispatchTest, ReadsBindPropertyGetFirstAndCallsBindMethodFirst) {
  EXPECT_EQ(ReadTextProperty(object_, "Both"), "property");
  EXPECT_EQ(CallTextMethod(object_, "both"), "method");
  // A call finds a put-only member as a put, its argument the value.
  CallMethod(object_, "Sink", {5});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyPut);
  // A write finds a method when there is no put.
  EXPECT_TRUE(WriteProperty(object_, "Echo", {7}));
  EXPECT_EQ(lastCall().kind, InvokeKind::Method);
  EXPECT_EQ(lastCall().values.at(0).Signed(), 7);
}

TEST_F(DispatchTest, UnknownNamesFailWithEmptyResults) {
  EXPECT_EQ(ReadTextProperty(object_, "Nothing"), "");
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  EXPECT_EQ(CallNumberMethod(object_, "Nothing"), 0);
  EXPECT_FALSE(WriteProperty(object_, "Nothing", {1}));
  EXPECT_TRUE(probe().calls.empty());
}

TEST_F(DispatchTest, PassesEachValueKindAsThePlatformDoes) {
  Object other;
  ASSERT_TRUE(Create(other, kProbeProgId));
  const struct {
    Arg arg;
    VarType type;
  } cases[] = {
      {Arg(text::Gbk("权重")), VT_BSTR},
      {Arg(2.5), VT_R8},
      {Arg(1.5f), VT_R4},
      {Arg(7), VT_I4},
      {Arg(std::int64_t{0x100000005}), VT_I4},
      {Arg(std::int16_t{3}), VT_I2},
      {Arg(std::uint8_t{200}), VT_UI1},
      {Arg(true), VT_BOOL},
      {Arg(DateTime{41389.5}), VT_DATE},
      {Arg(other), VT_DISPATCH},
      {Arg(Variant::Currency(5)), VT_CY},
  };
  for (const auto& c : cases) {
    CallMethod(object_, "Echo", {c.arg});
    ASSERT_EQ(LastCall().code, S_OK);
    EXPECT_EQ(lastCall().types.at(0), c.type);
  }
  EXPECT_EQ(probe().calls[0].values[0].TextValue(), u"权重");
  EXPECT_EQ(probe().calls[4].values[0].Signed(), 5);  // the low 32 bits
  EXPECT_EQ(probe().calls[6].values[0].Unsigned(), 200u);
  EXPECT_EQ(probe().calls[8].values[0].Real(), 41389.5);
  EXPECT_EQ(probe().calls[9].values[0].ObjectValue(), other);

  const std::size_t before = probe().calls.size();
  CallMethod(object_, "Echo", {std::vector<std::uint8_t>{1, 2}});
  EXPECT_EQ(LastCall().code, DISP_E_BADVARTYPE);
  EXPECT_EQ(probe().calls.size(), before);
}

TEST_F(DispatchTest, ConvertsArgumentsToTheirDeclaredTypes) {
  EXPECT_EQ(CallNumberMethod(object_, "Typed", {"7", "2.5", 3, 1}), 4);
  const Probe::Call& call = lastCall();
  EXPECT_EQ(call.types, (std::vector<VarType>{VT_I4, VT_R8, VT_BSTR, VT_BOOL}));
  EXPECT_EQ(call.values[0].Signed(), 7);
  EXPECT_EQ(call.values[1].Real(), 2.5);
  EXPECT_EQ(call.values[2].TextValue(), u"3");
  EXPECT_TRUE(call.values[3].BoolValue());

  const std::size_t before = probe().calls.size();
  EXPECT_EQ(CallNumberMethod(object_, "Typed", {"x", 1, 1, 1}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CallNumberMethod(object_, "Typed", {3e10, 1, 1, 1}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_OVERFLOW);
  EXPECT_EQ(CallNumberMethod(object_, "Typed", {1, kNotGiven, 1, 1}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(probe().calls.size(), before);
}

TEST_F(DispatchTest, DropsMissingArgumentsAtTheEndAndMarksThemInTheMiddle) {
  EXPECT_EQ(CallNumberMethod(object_, "Optional", {1, kNotGiven, 3}), 3);
  EXPECT_EQ(lastCall().types, (std::vector<VarType>{VT_I4, VT_ERROR, VT_I4}));
  EXPECT_TRUE(lastCall().values[1].IsMissing());
  EXPECT_EQ(CallNumberMethod(object_, "Optional", {1, kNotGiven, kNotGiven}), 1);
  EXPECT_EQ(CallNumberMethod(object_, "Optional", {1}), 1);
}

TEST_F(DispatchTest, RefusesWrongArgumentCountsUnlessTheListIsVariable) {
  EXPECT_EQ(CallNumberMethod(object_, "Optional", {1, 2, 3, 4}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallNumberMethod(object_, "Typed", {1}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(ReadTextProperty(object_, "Name", {1}), "");
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(CallNumberMethod(object_, "VarArgs", {1, 2, 3, 4, 5}), 5);
  EXPECT_EQ(CallNumberMethod(object_, "VarArgs"), 0);
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
}

// A trailing array of variants not marked as a variable list still takes the
// trailing arguments, packed, as the platform's dispatcher packs them (and as
// a script control whose type library lacks the mark needs).
TEST_F(DispatchTest, PacksTrailingArgumentsIntoADeclaredArrayOfVariants) {
  EXPECT_EQ(CallNumberMethod(object_, "Packed", {"f", 1, "two", 3.5}), 3);
  ASSERT_EQ(lastCall().types.size(), 2U);
  EXPECT_EQ(lastCall().types[1], VT_BYREF | VT_ARRAY | VT_VARIANT);
  const SafeArray& packed = *lastCall().values[1].ArrayValue();
  EXPECT_EQ(packed.Get(0).Signed(), 1);
  EXPECT_EQ(packed.Get(1).TextValue(), u"two");
  EXPECT_EQ(packed.Get(2).Real(), 3.5);
  EXPECT_EQ(CallNumberMethod(object_, "Packed", {"f"}), 0);
  EXPECT_EQ(CallNumberMethod(object_, "Packed", {"f", 7}), 1);
  const Variant given = Variant::Array(SafeArray::Variants({Variant::I4(1), Variant::I4(2)}));
  EXPECT_EQ(CallNumberMethod(object_, "Packed", {"f", given}), 2);
  EXPECT_EQ(CallNumberMethod(object_, "Packed"), 0);
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
}

TEST_F(DispatchTest, PassesByReferenceParametersAReferenceToTheConvertedValue) {
  EXPECT_EQ(CallNumberMethod(object_, "ByRef", {"41"}), 42);
  EXPECT_EQ(lastCall().types.at(0), VT_BYREF | VT_I4);
}

TEST_F(DispatchTest, WritesPassTheirValueAsThePutArgument) {
  EXPECT_TRUE(WriteProperty(object_, "Value", {"2.5"}));
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyPut);
  EXPECT_EQ(lastCall().types, std::vector<VarType>{VT_R8});
  EXPECT_EQ(ReadNumberProperty(object_, "value"), 2.5);
  EXPECT_FALSE(WriteProperty(object_, "Value", {"abc"}));
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_FALSE(WriteProperty(object_, "Value", {}));
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);

  EXPECT_TRUE(WriteProperty(object_, "Name", {"abc"}));
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyPut);
  EXPECT_EQ(ReadTextProperty(object_, "Name"), "abc");
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyGet);
}

TEST_F(DispatchTest, WritesObjectAndArrayPropertiesByReference) {
  Object child;
  ASSERT_TRUE(Create(child, kProbeProgId));
  EXPECT_TRUE(WriteProperty(object_, "Child", {child}));
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyPutRef);
  EXPECT_EQ(ReadObjectProperty(object_, "Child"), child);
  probe().calls.clear();
  EXPECT_EQ(child->RefCount(), 2u);  // ours and the probe's

  EXPECT_TRUE(WriteProperty(object_, "Values", {Variant::Array(SafeArray::Variants({Variant::I4(1)}))}));
  EXPECT_EQ(lastCall().kind, InvokeKind::PropertyPutRef);
  EXPECT_FALSE(WriteProperty(object_, "Child", {"text"}));
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, ConvertsResultsToTheRequestedKind) {
  EXPECT_EQ(CallTextMethod(object_, "Echo", {1.5}), "1.5");
  EXPECT_EQ(CallTextMethod(object_, "Echo", {true}), "-1");
  EXPECT_EQ(CallNumberMethod(object_, "Echo", {" 3.5"}), 3.5);
  EXPECT_TRUE(CallBoolMethod(object_, "Echo", {"TRUE"}));
  EXPECT_EQ(CallVariantMethod(object_, "Echo", {7}).Type(), VT_I4);
  EXPECT_EQ(CallTextMethod(object_, "Echo", {text::Gbk("百度")}), text::Gbk("百度"));

  EXPECT_EQ(CallNumberMethod(object_, "Echo", {"12abc"}), 0);
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(CallObjectMethod(object_, "Echo", {1}).IsEmpty());
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(CallTextMethod(object_, "Echo", {Variant::Null()}), "");
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
}

TEST_F(DispatchTest, ReadsAnObjectAsTextThroughItsDefaultMember) {
  Object other;
  ASSERT_TRUE(Create(other, kProbeProgId));
  ASSERT_TRUE(WriteProperty(other, "Value", {0.25}));
  EXPECT_EQ(CallTextMethod(object_, "Echo", {other}), "0.25");
  const Object same = CallObjectMethod(object_, "Echo", {other});
  EXPECT_EQ(same, other);
}

TEST_F(DispatchTest, RecordsFailuresOfTheCallInTheLastCallState) {
  CallMethod(object_, "Fail");
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(LastCall().excep.code, MakeCode(0x800A0005));
  EXPECT_EQ(LastCall().excep.description, u"Invalid procedure call or argument");
  EXPECT_EQ(CallNumberMethod(object_, "Echo", {1}), 1);
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(LastCall().excep.code, S_OK);

  // A C++ exception inside a component never leaves the call.
  CallMethod(object_, "Throw");
  EXPECT_EQ(LastCall().code, E_FAIL);

  Object empty;
  EXPECT_EQ(ReadTextProperty(empty, "Name"), "");
  EXPECT_EQ(LastCall().code, E_POINTER);
  Object opaque;
  ASSERT_TRUE(Create(opaque, kOpaqueProgId));
  EXPECT_FALSE(WriteProperty(opaque, "Name", {"x"}));
  EXPECT_EQ(LastCall().code, E_NOTIMPL);
}

TEST_F(DispatchTest, KeepsTheLastCallStatePerThread) {
  CallMethod(object_, "Fail");
  HRESULT seen = E_UNEXPECTED;
  std::thread([&] { seen = LastCall().code; }).join();
  EXPECT_EQ(seen, S_OK);
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
}

TEST(Apartments, CountInitialisationsPerThread) {
  ASSERT_EQ(ApartmentCount(), 0);
  EXPECT_EQ(CoInitialize(), S_OK);
  EXPECT_EQ(CoInitialize(), S_FALSE);
  // S_FALSE on Windows, which documents it; Wine answers S_OK.
  EXPECT_GE(OleInitialize(), S_OK);
  EXPECT_EQ(ApartmentCount(), 3);
  int other = -1;
  std::thread([&] {
    CoInitialize();
    other = ApartmentCount();
    CoUninitialize();
  }).join();
  EXPECT_EQ(other, 1);
  OleUninitialize();
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // one too many does nothing
  EXPECT_EQ(ApartmentCount(), 0);
  EXPECT_EQ(CoInitialize(), S_OK);
  CoUninitialize();
}

}  // namespace
}  // namespace rankora::automation
