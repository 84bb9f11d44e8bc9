#include "dict/dictionary.h"

#include <gtest/gtest.h>

#include "automation/apartment.h"
#include "automation/date.h"
#include "automation/reading.h"
#include "dict/pinyin.h"
#include "text/gbk.h"

namespace rankora::dict {
namespace {

using automation::SafeArray;
using automation::Variant;

Variant Text(const std::string& gbk) { return Variant::Text(text::ToUtf16(gbk)); }

std::vector<std::string> Keys(Dictionary& dict) {
  std::vector<std::string> keys;
  for (int p = 1; p <= dict.GetCount(); ++p) keys.push_back(dict.GetKeyAt(p));
  return keys;
}

TEST(Dictionary, SetsItemsByReplacingOrAdding) {
  Dictionary dict;
  dict.SetItem("a", Variant::I4(1));
  dict.SetItem("b", Variant::I4(2));
  EXPECT_EQ(dict.GetCount(), 2);
  dict.SetItem("a", Text("one"));
  EXPECT_EQ(dict.GetCount(), 2);
  EXPECT_EQ(dict.GetItemText("a"), "one");
  EXPECT_TRUE(dict.Exists("b"));
  EXPECT_FALSE(dict.Exists("c"));
  EXPECT_EQ(dict.GetKeyAt(2), "b");
  EXPECT_EQ(dict.GetKeyAt(3), "");
  EXPECT_EQ(dict.GetKeyAt(0), "");
  EXPECT_EQ(dict.GetItemTextAt(1), "one");
  EXPECT_FALSE(dict.Remove("b"));  // the call's own boolean, not whether the key was there
  EXPECT_FALSE(dict.Exists("b"));
  dict.RemoveAll();
  EXPECT_EQ(dict.GetCount(), 0);
}

TEST(Dictionary, GivesItemTextsByKind) {
  Dictionary dict;
  const std::uint8_t bytes[] = {1, 2, 255};
  Dictionary other;
  double date = 0;
  ASSERT_TRUE(automation::DateFromParts({2013, 4, 25, 7, 5, 0}, date));
  dict.SetItem("true", Variant::Bool(true));
  dict.SetItem("false", Variant::Bool(false));
  dict.SetItem("bytes", Variant::Array(SafeArray::Bytes(bytes)));
  dict.SetItem("object", Variant::Dispatch(other.GetObject()));
  dict.SetItem("tenth", Variant::R8(0.1));
  dict.SetItem("date", Variant::Date(date));
  dict.SetItem("empty", Variant());
  EXPECT_EQ(dict.GetItemText("true"), text::Gbk("真"));
  EXPECT_EQ(dict.GetItemText("false"), text::Gbk("假"));
  EXPECT_EQ(dict.GetItemText("bytes"), "{1,2,255}");
  EXPECT_EQ(dict.GetItemText("object"), "");
  EXPECT_EQ(dict.GetItemText("tenth"), "0.1");
  EXPECT_EQ(dict.GetItemText("date"), text::Gbk("2013年4月25日7时5分"));
  EXPECT_EQ(dict.GetItemText("empty"), "");
  EXPECT_EQ(ByteListText({}), "{}");
}

TEST(Dictionary, GetsNestedDictionariesAndNewOnesForMissingKeys) {
  Dictionary dict;
  Dictionary child;
  child.SetItem("c", Variant::Bool(true));
  dict.SetItem("child", Variant::Dispatch(child.GetObject()));
  const std::unique_ptr<Dictionary> nested = dict.GetDictionary("child");
  EXPECT_EQ(nested->GetObject(), child.GetObject());
  EXPECT_TRUE(nested->Exists("c"));
  const std::unique_ptr<Dictionary> missing = dict.GetDictionary("nothing");
  EXPECT_EQ(missing->GetCount(), 0);
  missing->SetItem("x", Variant::I4(1));
  EXPECT_FALSE(dict.Exists("nothing"));
  EXPECT_EQ(dict.GetCount(), 1);
}

TEST(Dictionary, FindsTheFirstItemThatContainsAText) {
  Dictionary dict;
  dict.SetItem("a", Text("alpha"));
  dict.SetItem("b", Text(text::Gbk("权重")));
  dict.SetItem("c", Text("beta alpha"));
  dict.SetItem("d", Text(""));
  int pumps = 0;
  SetPendingMessagesHook([&] { ++pumps; });
  EXPECT_EQ(dict.FindItem("alpha"), 1);
  EXPECT_EQ(dict.FindItem("beta"), 3);
  EXPECT_EQ(dict.FindItem(text::Gbk("重")), 2);
  EXPECT_EQ(dict.FindItem("none"), 0);
  EXPECT_EQ(dict.FindItem(""), 1);
  SetPendingMessagesHook({});
  EXPECT_GT(pumps, 4);
}

TEST(Dictionary, SortsKeysByCharacterCodes) {
  Dictionary dict;
  EXPECT_TRUE(dict.SortByKey());
  for (const char* key : {"b", "a", "10", "9"}) dict.SetItem(key, Text(std::string(key) + "!"));
  EXPECT_TRUE(dict.SortByKey());
  EXPECT_EQ(Keys(dict), (std::vector<std::string>{"10", "9", "a", "b"}));
  EXPECT_EQ(dict.GetItemText("9"), "9!");
  EXPECT_NEAR(KeySortValue("10"), 49.048, 1e-9);
  EXPECT_EQ(KeySortValue("9"), 57);
  EXPECT_NEAR(KeySortValue("ab"), 65.066, 1e-9);
  EXPECT_EQ(KeySortValue(""), 0);
}

TEST(Dictionary, SortsHanziByTheirPinyin) {
  // 百 (bai), 啊 (a), 中 (zhong): A, B, Z.
  EXPECT_EQ(PinyinInitial(0xB0, 0xA1), 'A');
  EXPECT_EQ(PinyinInitial(0xB0, 0xD9), 'B');
  EXPECT_EQ(PinyinInitial(0xD6, 0xD0), 'Z');
  EXPECT_EQ(PinyinInitial(0xA1, 0xA1), 0);
  Dictionary dict;
  for (const char* key : {"中", "百", "啊"}) dict.SetItem(text::Gbk(key), Variant::I4(1));
  dict.SortByKey();
  EXPECT_EQ(Keys(dict), (std::vector<std::string>{text::Gbk("啊"), text::Gbk("百"), text::Gbk("中")}));
}

TEST(Dictionary, KeepsApartmentsBalancedWithClones) {
  const int before = automation::ApartmentCount();
  {
    Dictionary dict;
    dict.SetItem("k", Variant::I4(1));
    const std::unique_ptr<Dictionary> clone = dict.Clone();
    EXPECT_EQ(clone->GetObject(), dict.GetObject());
    EXPECT_EQ(clone->GetItemText("k"), "1");
  }
  EXPECT_EQ(automation::ApartmentCount(), before);
}

}  // namespace
}  // namespace rankora::dict
