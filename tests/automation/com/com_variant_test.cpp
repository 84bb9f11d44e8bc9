// The platform's kinds of value the layer holds none of: decimals arrive as
// the platform converts them, records are refused rather than copied.
#include "automation/com/com_bridge.h"

#include <gtest/gtest.h>

#include <string>

#include "automation/apartment.h"
#include "automation/component.h"

namespace rankora::automation {
namespace {

DECIMAL Decimal(const wchar_t* text) {
  DECIMAL value{};
  EXPECT_GE(VarDecFromStr(const_cast<OLECHAR*>(text), LOCALE_INVARIANT, 0, &value), 0) << text;
  return value;
}

// A platform object with one method that takes a DECIMAL by reference: it
// keeps what it was given and writes back 2.5, its reserved field zero as a
// callee may leave it.
class DecimalCallee final : public IDispatch {
 public:
  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
    ++calls;
    if (params->cArgs != 1 || V_VT(&params->rgvarg[0]) != (VT_BYREF | VT_DECIMAL)) return DISP_E_TYPEMISMATCH;
    DECIMAL* value = V_DECIMALREF(&params->rgvarg[0]);
    VarR8FromDec(value, &given);
    *value = Decimal(L"2.5");
    value->wReserved = 0;
    return S_OK;
  }

  ULONG refs = 0;
  int calls = 0;
  double given = 0;
};

class ComValues : public ::testing::Test {
 protected:
  void SetUp() override { CoInitialize(); }
  void TearDown() override { CoUninitialize(); }
};

TEST_F(ComValues, DecimalsArriveAsTheirNearestDouble) {
  VARIANT native;
  VariantInit(&native);
  V_DECIMAL(&native) = Decimal(L"-12345678901234.5678");
  V_VT(&native) = VT_DECIMAL;
  Variant value;
  ASSERT_EQ(com::FromNative(native, value), S_OK);
  EXPECT_EQ(value.Type(), VT_R8);
  EXPECT_DOUBLE_EQ(value.Real(), -12345678901234.5678);
  // By reference, the same.
  DECIMAL referred = Decimal(L"0.0001");
  V_VT(&native) = VT_BYREF | VT_DECIMAL;
  V_DECIMALREF(&native) = &referred;
  ASSERT_EQ(com::FromNative(native, value), S_OK);
  EXPECT_DOUBLE_EQ(value.Real(), 0.0001);
}

TEST_F(ComValues, AnArrayOfDecimalsArrivesAsDoubles) {
  SAFEARRAY* array = SafeArrayCreateVector(VT_DECIMAL, 1, 3);
  ASSERT_NE(array, nullptr);
  const wchar_t* texts[] = {L"1.5", L"-79228162514264337593543950335", L"7.0000000000000000000000000001"};
  for (LONG i = 0; i < 3; ++i) {
    DECIMAL element = Decimal(texts[i]);
    LONG index = i + 1;
    ASSERT_GE(SafeArrayPutElement(array, &index, &element), 0);
  }
  VARIANT native;
  VariantInit(&native);
  V_VT(&native) = VT_ARRAY | VT_DECIMAL;
  V_ARRAY(&native) = array;
  Variant value;
  ASSERT_EQ(com::FromNative(native, value), S_OK);
  VariantClear(&native);
  ASSERT_TRUE(value.IsArray());
  const SafeArray& doubles = *value.ArrayValue();
  EXPECT_EQ(doubles.ElementType(), VT_R8);
  ASSERT_EQ(doubles.Size(), 3u);
  EXPECT_EQ(doubles.Bounds().front().lowerBound, 1);
  EXPECT_DOUBLE_EQ(doubles.Get(0).Real(), 1.5);
  EXPECT_DOUBLE_EQ(doubles.Get(1).Real(), -79228162514264337593543950335.0);
  EXPECT_DOUBLE_EQ(doubles.Get(2).Real(), 7.0);
}

TEST_F(ComValues, RecordsAreRefusedNotCopied) {
  VARIANT native;
  VariantInit(&native);
  V_VT(&native) = VT_RECORD;
  Variant value;
  EXPECT_EQ(com::FromNative(native, value), DISP_E_BADVARTYPE);
  SAFEARRAY* records = nullptr;
  ASSERT_GE(SafeArrayAllocDescriptorEx(VT_RECORD, 1, &records), 0);
  records->cbElements = 64;
  records->rgsabound[0].cElements = 2;
  V_VT(&native) = VT_ARRAY | VT_RECORD;
  V_ARRAY(&native) = records;
  EXPECT_EQ(com::FromNative(native, value), DISP_E_BADVARTYPE);
  SafeArrayDestroyDescriptor(records);
  VARIANT out;
  VariantInit(&out);
  EXPECT_EQ(com::ToNative(Variant::Array(SafeArray(VT_RECORD, {ArrayBound{1, 0}})), out), DISP_E_BADVARTYPE);
  EXPECT_EQ(V_VT(&out), VT_EMPTY);
}

TEST_F(ComValues, ADecimalByReferenceGoesAndComesBackWhole) {
  DecimalCallee callee;
  {
    const Object object = com::WrapInterface(&callee);
    ASSERT_FALSE(object.IsEmpty());
    Variant target = Variant::R8(1.25);
    Variant arg = Variant::ByRef(target, VT_DECIMAL);
    CallArgs args({&arg, 1});
    Variant result;
    ExcepInfo excep;
    ASSERT_EQ(object->Invoke(1, InvokeKind::Method, args, result, excep), S_OK);
    EXPECT_EQ(callee.given, 1.25);
    EXPECT_EQ(target.Type(), VT_R8);
    EXPECT_DOUBLE_EQ(target.Real(), 2.5);
    // A record by reference never reaches the callee.
    Variant record;
    Variant recordArg = Variant::ByRef(record, VT_RECORD);
    CallArgs recordArgs({&recordArg, 1});
    EXPECT_EQ(object->Invoke(1, InvokeKind::Method, recordArgs, result, excep), DISP_E_BADVARTYPE);
    EXPECT_EQ(callee.calls, 1);
  }
  EXPECT_EQ(callee.refs, 0u);
}

}  // namespace
}  // namespace rankora::automation
