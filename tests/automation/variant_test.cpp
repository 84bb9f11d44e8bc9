#include "automation/variant.h"

#include <gtest/gtest.h>

#include <span>

#include "automation/component.h"
#include "automation/dispatch.h"
#include "automation/reading.h"
#include "text/gbk.h"

namespace rankora::automation {
namespace {

// A component that only counts how many of it are alive.
class Counted final : public Component {
 public:
  Counted() { ++alive; }
  ~Counted() override { --alive; }
  const TypeInfo* GetTypeInfo() const override { return nullptr; }
  HRESULT Invoke(DispId, InvokeKind, CallArgs&, Variant&, ExcepInfo&) override { return DISP_E_MEMBERNOTFOUND; }
  static inline int alive = 0;
};

TEST(ObjectValues, CountReferencesAndDestroyTheComponentWithTheLast) {
  Object first = MakeObject<Counted>();
  ASSERT_EQ(Counted::alive, 1);
  EXPECT_FALSE(first.IsEmpty());
  EXPECT_EQ(first->RefCount(), 1u);
  {
    Object copy = first;
    EXPECT_EQ(first->RefCount(), 2u);
    EXPECT_EQ(copy, first);
    Variant held = Variant::Dispatch(copy);
    EXPECT_EQ(first->RefCount(), 3u);
    Variant heldCopy = held;
    EXPECT_EQ(first->RefCount(), 4u);
    held.Clear();
    EXPECT_EQ(first->RefCount(), 3u);
  }
  EXPECT_EQ(first->RefCount(), 1u);
  Object moved = std::move(first);
  EXPECT_TRUE(first.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from value is empty
  EXPECT_EQ(moved->RefCount(), 1u);
  moved.Clear();
  EXPECT_TRUE(moved.IsEmpty());
  EXPECT_EQ(Counted::alive, 0);
}

TEST(Variants, CopyArraysDeeplyAndClearToEmpty) {
  SafeArray array(VT_I4, {{2, 0}});
  ASSERT_EQ(array.Put(0, Variant::I4(1)), S_OK);
  Variant original = Variant::Array(std::move(array));
  Variant copy = original;
  ASSERT_EQ(copy.ArrayValue()->Put(0, Variant::I4(9)), S_OK);
  EXPECT_EQ(original.ArrayValue()->Get(0).Signed(), 1);
  EXPECT_EQ(copy.ArrayValue()->Get(0).Signed(), 9);
  EXPECT_EQ(copy.Type(), VT_ARRAY | VT_I4);

  copy.Clear();
  EXPECT_TRUE(copy.IsEmpty());
  EXPECT_EQ(copy.ArrayValue(), nullptr);

  Variant text = Variant::Text(u"abc");
  Variant moved = std::move(text);
  EXPECT_EQ(moved.TextValue(), u"abc");
  EXPECT_TRUE(text.IsEmpty());  // NOLINT(bugprone-use-after-move): a moved-from value is empty
}

TEST(Arrays, ConvertElementsToTheirTypeAndStartAtZero) {
  SafeArray numbers(VT_R8, {{3, 1}});
  EXPECT_EQ(numbers.Get(2).Type(), VT_R8);
  EXPECT_EQ(numbers.Put(0, Variant::Text(u"2.5")), S_OK);
  EXPECT_EQ(numbers.Get(0).Real(), 2.5);
  EXPECT_EQ(numbers.Put(1, Variant::Text(u"x")), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(numbers.Put(3, Variant::I4(1)), DISP_E_BADINDEX);

  SafeArray bytes(VT_UI1, {{2, 0}});
  EXPECT_EQ(bytes.Put(1, Variant::I4(255)), S_OK);
  EXPECT_EQ(bytes.Put(0, Variant::I4(256)), DISP_E_OVERFLOW);
  EXPECT_EQ(bytes.ByteData(), (std::vector<std::uint8_t>{0, 255}));
}

TEST(Arrays, FindElementsByIndexesWithTheFirstDimensionFastest) {
  SafeArray grid(VT_I4, {{2, 1}, {3, 0}});  // 1..2 x 0..2
  std::size_t position = 0;
  const std::int32_t first[] = {1, 0};
  const std::int32_t second[] = {2, 0};
  const std::int32_t last[] = {2, 2};
  const std::int32_t outside[] = {0, 0};
  ASSERT_TRUE(grid.PositionOf(first, position));
  EXPECT_EQ(position, 0u);
  ASSERT_TRUE(grid.PositionOf(second, position));
  EXPECT_EQ(position, 1u);
  ASSERT_TRUE(grid.PositionOf(last, position));
  EXPECT_EQ(position, 5u);
  EXPECT_FALSE(grid.PositionOf(outside, position));
  EXPECT_FALSE(grid.PositionOf(std::span<const std::int32_t>(first, 1), position));
}

TEST(Inspection, NumbersTheKinds) {
  EXPECT_EQ(GetKind(Variant()), 0);
  EXPECT_EQ(GetKind(Variant::I2(1)), 1);
  EXPECT_EQ(GetKind(Variant::UI8(1)), 1);
  EXPECT_EQ(GetKind(Variant::Currency(1)), 1);
  EXPECT_EQ(GetKind(Variant::R8(1)), 1);
  EXPECT_EQ(GetKind(Variant::Text(u"")), 2);
  EXPECT_EQ(GetKind(Variant::Bool(true)), 3);
  EXPECT_EQ(GetKind(Variant::Date(1)), 4);
  EXPECT_EQ(GetKind(Variant::Dispatch({})), 5);
  EXPECT_EQ(GetKind(Variant::Unknown({})), 5);
  EXPECT_EQ(GetKind(Variant::Error(E_FAIL)), 6);
  EXPECT_EQ(GetKind(Variant::Null()), -1);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_R8, {{1, 0}}))), 7);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_UI1, {{1, 0}}))), 7);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_BSTR, {{1, 0}}))), 8);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_BOOL, {{1, 0}}))), 9);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_DATE, {{1, 0}}))), 10);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_DISPATCH, {{1, 0}}))), 11);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_ERROR, {{1, 0}}))), 12);
  EXPECT_EQ(GetKind(Variant::Array(SafeArray(VT_VARIANT, {{1, 0}}))), 13);
  Variant target = Variant::I4(1);
  EXPECT_EQ(GetKind(Variant::ByRef(target, VT_I4)), -1);
}

TEST(Inspection, ReadsATwoByThreeArrayInStorageOrder) {
  SafeArray grid(VT_VARIANT, {{2, 0}, {3, 0}});
  const std::int32_t values[] = {11, 21, 12, 22, 13, 23};  // row-column, first dimension fastest
  for (std::size_t i = 0; i < 6; ++i) ASSERT_EQ(grid.Put(i, Variant::I4(values[i])), S_OK);
  const Variant held = Variant::Array(std::move(grid));
  EXPECT_EQ(ElementCount(held), 6);
  EXPECT_EQ(ElementCount(Variant::I4(1)), -1);
  for (int index = 1; index <= 6; ++index) EXPECT_EQ(GetNumber(held, index), values[index - 1]);
  EXPECT_EQ(GetText(held, 3), "12");
  EXPECT_EQ(GetNumber(held, 7), 0);
  EXPECT_EQ(LastCall().code, DISP_E_BADINDEX);
  EXPECT_EQ(GetVariant(held, 6).Signed(), 23);
}

TEST(Inspection, ReadsEveryKindAndGivesEmptyValuesOnFailure) {
  EXPECT_EQ(GetText(Variant::Text(text::ToUtf16(text::Gbk("权重")))), text::Gbk("权重"));
  EXPECT_EQ(GetText(Variant::R8(0.5)), "0.5");
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(GetNumber(Variant::Text(u"12abc")), 0);
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_TRUE(GetBool(Variant::Text(u"True")));
  EXPECT_FALSE(GetBool(Variant::Null()));
  EXPECT_EQ(LastCall().code, DISP_E_TYPEMISMATCH);
  EXPECT_EQ(GetDate(Variant::Text(u"6:00:00")), 0.25);
  EXPECT_TRUE(GetObject(Variant::I4(1)).IsEmpty());
  Object object = MakeObject<Counted>();
  EXPECT_EQ(GetObject(Variant::Dispatch(object)), object);
  const std::uint8_t bytes[] = {1, 2, 255};
  EXPECT_EQ(GetBytes(Variant::Array(SafeArray::Bytes(bytes))), (std::vector<std::uint8_t>{1, 2, 255}));
  EXPECT_EQ(GetBytes(Variant::Text(u"\u0201")), (std::vector<std::uint8_t>{1, 2}));
  EXPECT_TRUE(GetBytes(Variant::I4(1)).empty());
  // Reading an element of a value that holds no array fails.
  EXPECT_EQ(GetText(Variant::Text(u"abc"), 1), "");
  EXPECT_EQ(LastCall().code, DISP_E_BADINDEX);
}

}  // namespace
}  // namespace rankora::automation
