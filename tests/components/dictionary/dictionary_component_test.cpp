#include "components/dictionary/dictionary_component.h"

#include <gtest/gtest.h>

#include "automation/dispatch.h"
#include "automation/reading.h"
#include "text/gbk.h"

namespace rankora::components {
namespace {

using namespace automation;

constexpr HRESULT kKeyExists = MakeCode(0x800A01C9);
constexpr HRESULT kNotFound = MakeCode(0x800A802B);
constexpr HRESULT kInvalidCall = MakeCode(0x800A0005);

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Create(dict_, kDictionaryProgId)); }

  int Count() { return static_cast<int>(ReadNumberProperty(dict_, "Count")); }
  bool Exists(Arg key) { return CallBoolMethod(dict_, "Exists", {std::move(key)}); }
  HRESULT ExceptionCode() { return LastCall().code == DISP_E_EXCEPTION ? LastCall().excep.code : LastCall().code; }

  Object dict_;
};

TEST_F(DictionaryTest, IsFoundByProgIdAndClsid) {
  Object byClsid;
  EXPECT_TRUE(Create(byClsid, kDictionaryClsid));
  Object byLowerCase;
  EXPECT_TRUE(Create(byLowerCase, "scripting.dictionary"));
}

TEST_F(DictionaryTest, AddsItemsAndRefusesAKeyTwice) {
  CallMethod(dict_, "Add", {"a", 1});
  EXPECT_EQ(LastCall().code, S_OK);
  CallMethod(dict_, "Add", {"b", "two"});
  EXPECT_EQ(Count(), 2);
  CallMethod(dict_, "Add", {"a", 3});
  EXPECT_EQ(ExceptionCode(), kKeyExists);
  EXPECT_EQ(ReadNumberProperty(dict_, "Item", {"a"}), 1);
  EXPECT_EQ(ReadTextProperty(dict_, "Item", {"b"}), "two");
}

TEST_F(DictionaryTest, ReadingAMissingKeyAddsItWithAnEmptyItem) {
  const Variant item = ReadProperty(dict_, "Item", {"ghost"});
  EXPECT_TRUE(item.IsEmpty());
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_TRUE(Exists("ghost"));
  EXPECT_EQ(Count(), 1);
}

TEST_F(DictionaryTest, WritingAnItemAddsOrReplaces) {
  EXPECT_TRUE(WriteProperty(dict_, "Item", {"k", 1}));
  EXPECT_TRUE(WriteProperty(dict_, "Item", {"k", 2}));
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(ReadNumberProperty(dict_, "Item", {"k"}), 2);
  Object other;
  ASSERT_TRUE(Create(other, kDictionaryProgId));
  EXPECT_TRUE(WriteProperty(dict_, "Item", {"child", other}));
  EXPECT_EQ(ReadObjectProperty(dict_, "Item", {"child"}), other);
}

TEST_F(DictionaryTest, ListsKeysAndItemsInInsertionOrderFromZero) {
  const Variant none = CallVariantMethod(dict_, "Keys");
  EXPECT_EQ(none.Type(), VT_ARRAY | VT_VARIANT);
  EXPECT_EQ(ElementCount(none), 0);
  for (const char* key : {"z", "a", "m"}) CallMethod(dict_, "Add", {key, std::string(key) + "!"});
  const Variant keys = CallVariantMethod(dict_, "Keys");
  const Variant items = CallVariantMethod(dict_, "Items");
  ASSERT_EQ(keys.ArrayValue()->Dimensions(), 1u);
  EXPECT_EQ(keys.ArrayValue()->Bounds()[0].lowerBound, 0);
  EXPECT_EQ(ElementCount(keys), 3);
  EXPECT_EQ(GetText(keys, 1), "z");
  EXPECT_EQ(GetText(keys, 2), "a");
  EXPECT_EQ(GetText(keys, 3), "m");
  EXPECT_EQ(GetText(items, 2), "a!");
}

TEST_F(DictionaryTest, RemovesKeysAndRefusesMissingOnes) {
  CallMethod(dict_, "Add", {"a", 1});
  CallMethod(dict_, "Add", {"b", 2});
  CallMethod(dict_, "Add", {"c", 3});
  CallMethod(dict_, "Remove", {"b"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_FALSE(Exists("b"));
  EXPECT_EQ(GetText(CallVariantMethod(dict_, "Keys"), 2), "c");
  CallMethod(dict_, "Remove", {"b"});
  EXPECT_EQ(ExceptionCode(), kNotFound);
  CallMethod(dict_, "RemoveAll");
  EXPECT_EQ(Count(), 0);
  CallMethod(dict_, "Add", {"b", 4});
  EXPECT_EQ(LastCall().code, S_OK);
}

TEST_F(DictionaryTest, RenamesAKeyInItsPlace) {
  CallMethod(dict_, "Add", {"a", 1});
  CallMethod(dict_, "Add", {"b", 2});
  EXPECT_TRUE(WriteProperty(dict_, "Key", {"a", "x"}));
  EXPECT_FALSE(Exists("a"));
  EXPECT_EQ(ReadNumberProperty(dict_, "Item", {"x"}), 1);
  EXPECT_EQ(GetText(CallVariantMethod(dict_, "Keys"), 1), "x");
  EXPECT_FALSE(WriteProperty(dict_, "Key", {"missing", "y"}));
  EXPECT_EQ(ExceptionCode(), kNotFound);
  EXPECT_FALSE(WriteProperty(dict_, "Key", {"x", "b"}));
  EXPECT_EQ(ExceptionCode(), kKeyExists);
}

TEST_F(DictionaryTest, KeepsTextAndNumberKeysApartAndComparesNumbersByValue) {
  CallMethod(dict_, "Add", {1, "number"});
  CallMethod(dict_, "Add", {"1", "text"});
  EXPECT_EQ(LastCall().code, S_OK);
  EXPECT_EQ(Count(), 2);
  EXPECT_TRUE(Exists(1.0));
  EXPECT_TRUE(Exists(std::int16_t{1}));
  EXPECT_TRUE(Exists(Variant::Currency(10000)));
  EXPECT_FALSE(Exists(1.5));
  EXPECT_EQ(ReadTextProperty(dict_, "Item", {std::uint8_t{1}}), "number");
  CallMethod(dict_, "Add", {-0.0, "zero"});
  EXPECT_TRUE(Exists(0));
}

TEST_F(DictionaryTest, ComparesTextIgnoringCaseOnlyInTextMode) {
  EXPECT_EQ(ReadNumberProperty(dict_, "CompareMode"), 0);
  CallMethod(dict_, "Add", {"Key", 1});
  EXPECT_FALSE(Exists("KEY"));
  EXPECT_FALSE(WriteProperty(dict_, "CompareMode", {1}));
  EXPECT_EQ(ExceptionCode(), kInvalidCall);

  Object text;
  ASSERT_TRUE(Create(text, kDictionaryProgId));
  ASSERT_TRUE(WriteProperty(text, "CompareMode", {1}));
  EXPECT_EQ(ReadNumberProperty(text, "CompareMode"), 1);
  CallMethod(text, "Add", {text::Gbk("Ｋey权"), 1});
  EXPECT_TRUE(CallBoolMethod(text, "Exists", {text::Gbk("ｋEY权")}));
  CallMethod(text, "Add", {"KEY", 2});
  CallMethod(text, "Add", {"key", 3});
  EXPECT_EQ(ExceptionCode(), kKeyExists);
  // The key keeps the spelling it was added with.
  EXPECT_EQ(GetText(CallVariantMethod(text, "Keys"), 2), "KEY");
}

// Wine's dlls/scrrun/tests/dictionary.c (test_comparemode: "invalid mode
// value is not checked", 10 reads back as 10; a dictionary with an entry
// refuses with CTL_E_ILLEGALFUNCTIONCALL) and the CompareMode page ("Values
// greater than 2 can be used to refer to comparisons using specific Locale
// IDs").
TEST_F(DictionaryTest, TakesAnyCompareModeWithoutCheckingIt) {
  for (const std::int32_t mode : {10, -1, 2052, 2, 0}) {
    EXPECT_TRUE(WriteProperty(dict_, "CompareMode", {mode})) << mode;
    EXPECT_EQ(ReadNumberProperty(dict_, "CompareMode"), mode);
  }
  Object chinese;
  ASSERT_TRUE(Create(chinese, kDictionaryProgId));
  ASSERT_TRUE(WriteProperty(chinese, "CompareMode", {2052}));  // zh-CN
  CallMethod(chinese, "Add", {"Key", 1});
  EXPECT_TRUE(CallBoolMethod(chinese, "Exists", {"KEY"}));
  EXPECT_FALSE(WriteProperty(chinese, "CompareMode", {10}));
  EXPECT_EQ(LastCall().excep.code, kInvalidCall);
  EXPECT_EQ(ReadNumberProperty(chinese, "CompareMode"), 2052);
}

TEST_F(DictionaryTest, RefusesArraysAsKeys) {
  CallMethod(dict_, "Add", {Variant::Array(SafeArray::Variants({})), 1});
  EXPECT_EQ(LastCall().code, DISP_E_EXCEPTION);
  EXPECT_EQ(Count(), 0);
}

TEST_F(DictionaryTest, KeepsObjectKeysByIdentity) {
  Object a;
  Object b;
  ASSERT_TRUE(Create(a, kDictionaryProgId));
  ASSERT_TRUE(Create(b, kDictionaryProgId));
  CallMethod(dict_, "Add", {a, "a"});
  EXPECT_TRUE(Exists(a));
  EXPECT_FALSE(Exists(b));
}

TEST_F(DictionaryTest, ReleasesItsItemsWithIt) {
  Object child;
  ASSERT_TRUE(Create(child, kDictionaryProgId));
  CallMethod(dict_, "Add", {"child", child});
  EXPECT_EQ(child->RefCount(), 2u);
  dict_.Clear();
  EXPECT_EQ(child->RefCount(), 1u);
}

TEST_F(DictionaryTest, HasTheMembersOfThePlatformsDictionary) {
  EXPECT_EQ(CallNumberMethod(dict_, "Nope"), 0);
  EXPECT_EQ(LastCall().code, DISP_E_UNKNOWNNAME);
  CallMethod(dict_, "Add", {"a"});
  EXPECT_EQ(LastCall().code, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Count(), 0);
}

}  // namespace
}  // namespace rankora::components
