#include "automation/assign.h"

#include <gtest/gtest.h>

#include "automation/component.h"
#include "automation/reading.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

class Plain final : public Component {
 public:
  const TypeInfo* GetTypeInfo() const override { return nullptr; }
  HRESULT Invoke(DispId, InvokeKind, CallArgs&, Variant&, ExcepInfo&) override { return DISP_E_MEMBERNOTFOUND; }
};

TEST(Assign, StoresEachPlainKindAsItsVariantType) {
  Variant v = Variant::Text(u"old");
  const Object object = MakeObject<Plain>();
  const struct {
    PlainValue value;
    VarType type;
  } cases[] = {
      {std::string("abc"), VT_BSTR},
      {std::uint8_t{255}, VT_UI1},
      {std::int16_t{-2}, VT_I2},
      {std::int32_t{7}, VT_I4},
      {std::int64_t{1} << 40, VT_I4},
      {1.5f, VT_R4},
      {2.5, VT_R8},
      {true, VT_BOOL},
      {DateTime{41389.25}, VT_DATE},
      {object, VT_UNKNOWN},
      {Variant::Currency(1), VT_CY},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Assign(v, c.value));
    EXPECT_EQ(v.Type(), c.type);
  }
  ASSERT_TRUE(Assign(v, std::int64_t{0x1FFFFFFFE}));
  EXPECT_EQ(v.Signed(), -2);  // the low 32 bits
  ASSERT_TRUE(Assign(v, text::Gbk("权重")));
  EXPECT_EQ(v.TextValue(), u"权重");
  ASSERT_TRUE(Assign(v, true));
  EXPECT_EQ(v.Signed(), VARIANT_TRUE);
}

TEST(Assign, StoresNothingForAnEmptyObject) {
  Variant v = Variant::I4(1);
  EXPECT_FALSE(Assign(v, Object()));
  EXPECT_TRUE(v.IsEmpty());
}

TEST(Assign, MakesArraysOneDimensionalFromOne) {
  Variant v;
  ASSERT_TRUE(Assign(v, std::vector<std::uint8_t>{1, 2, 255}));
  EXPECT_EQ(v.Type(), VT_ARRAY | VT_UI1);
  EXPECT_EQ(v.ArrayValue()->Bounds()[0].lowerBound, 1);
  EXPECT_EQ(GetBytes(v), (std::vector<std::uint8_t>{1, 2, 255}));

  ASSERT_TRUE(Assign(v, PlainArray{std::vector<std::int64_t>{1, std::int64_t{1} << 32 | 5}}));
  EXPECT_EQ(v.Type(), VT_ARRAY | VT_I4);
  EXPECT_EQ(GetNumber(v, 2), 5);
  ASSERT_TRUE(Assign(v, PlainArray{std::vector<std::string>{"a", "b"}}));
  EXPECT_EQ(v.Type(), VT_ARRAY | VT_BSTR);
  EXPECT_EQ(GetText(v, 2), "b");
  ASSERT_TRUE(Assign(v, PlainArray{std::vector<Variant>{Variant::I4(1), Variant::Text(u"x")}}));
  EXPECT_EQ(v.Type(), VT_ARRAY | VT_VARIANT);
  const Object object = MakeObject<Plain>();
  ASSERT_TRUE(Assign(v, PlainArray{std::vector<Object>{object, object}}));
  EXPECT_EQ(v.Type(), VT_ARRAY | VT_UNKNOWN);
  EXPECT_EQ(object->RefCount(), 3u);
  v.Clear();
  EXPECT_EQ(object->RefCount(), 1u);
}

TEST(Assign, StoresIntoAnElementConvertedToItsType) {
  Variant v;
  ASSERT_TRUE(Assign(v, PlainArray{std::vector<double>{0, 0, 0}}));
  EXPECT_TRUE(Assign(v, std::string("2.5"), 2));
  EXPECT_EQ(GetNumber(v, 2), 2.5);
  EXPECT_FALSE(Assign(v, std::string("x"), 1));
  EXPECT_FALSE(Assign(v, 1.0, 4));
  Variant scalar = Variant::I4(1);
  EXPECT_FALSE(Assign(scalar, 2, 1));
  EXPECT_EQ(scalar.Signed(), 1);
}

}  // namespace
}  // namespace rankora::automation
