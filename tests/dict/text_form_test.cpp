#include <gtest/gtest.h>

#include <random>

#include "automation/date.h"
#include "automation/reading.h"
#include "dict/dictionary.h"
#include "dict/scramble.h"
#include "text/gbk.h"

namespace rankora::dict {
namespace {

using automation::SafeArray;
using automation::Variant;

Variant Text(const std::string& gbk) { return Variant::Text(text::ToUtf16(gbk)); }

TEST(TextForm, WritesAnEmptyDictionaryInBothForms) {
  Dictionary dict;
  EXPECT_EQ(dict.Serialize(), "{}");
  EXPECT_EQ(dict.Dump(), "Array(\r\n)");
  dict.SetItem("x", Variant::I4(1));
  dict.Parse("{}");
  EXPECT_EQ(dict.GetCount(), 0);
  dict.SetItem("x", Variant::I4(1));
  dict.Parse("");
  EXPECT_EQ(dict.GetCount(), 0);
}

TEST(TextForm, DumpsTheExampleToTheByte) {
  Dictionary dict;
  Dictionary inner;
  inner.SetItem("c", Variant::Bool(true));
  dict.SetItem("a", Text("x"));
  dict.SetItem("n", Variant::I4(5));
  dict.SetItem("b", Variant::Dispatch(inner.GetObject()));
  EXPECT_EQ(dict.Dump(),
            text::Gbk("Array(\r\n  1.[a] => x\r\n  2.[n] => 5\r\n  3.[b] => Array(\r\n     1.[c] => 真\r\n   )\r\n)"));
}

TEST(TextForm, WritesBooleansInClearAndKeysScrambled) {
  Dictionary dict;
  dict.SetItem("flag", Variant::Bool(true));
  EXPECT_EQ(dict.Serialize("p"), "{" + ScrambleText("flag", "p") + ":3:1}");
}

TEST(TextForm, RoundTripsEveryKindItCarriesAndOneLevelOfNesting) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 60; ++round) {
    Dictionary dict;
    Dictionary inner;
    inner.SetItem(text::Gbk("内"), Text("v" + std::to_string(round)));
    const int size = 1 + static_cast<int>(random() % 8);
    std::vector<std::pair<std::string, std::string>> expected;
    for (int i = 0; i < size; ++i) {
      const std::string key = "k" + std::to_string(i) + text::Gbk("键");
      switch (random() % 6) {
        case 0:
          dict.SetItem(key, Text("text " + std::to_string(random())));
          break;
        case 1:
          dict.SetItem(key, Variant::I4(static_cast<std::int32_t>(random() % 100000) - 50000));
          break;
        case 2:
          dict.SetItem(key, Variant::Bool(random() % 2 == 0));
          break;
        case 3: {
          double date = 0;
          automation::DateFromParts({2000 + static_cast<int>(random() % 30), 1 + static_cast<int>(random() % 12),
                                     1 + static_cast<int>(random() % 28), static_cast<int>(random() % 24),
                                     static_cast<int>(random() % 60), static_cast<int>(random() % 60)},
                                    date);
          dict.SetItem(key, Variant::Date(date));
          break;
        }
        case 4: {
          std::vector<std::uint8_t> bytes(1 + random() % 40);
          for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 256);
          bytes.push_back(255);
          bytes.push_back(0);
          dict.SetItem(key, Variant::Array(SafeArray::Bytes(bytes)));
          break;
        }
        default:
          dict.SetItem(key, Variant::Dispatch(inner.GetObject()));
          break;
      }
    }
    const std::string password = round % 3 == 0 ? "" : "pw" + std::to_string(round);
    const std::string serialized = dict.Serialize(password);
    Dictionary back;
    back.Parse(serialized, password);
    ASSERT_EQ(back.GetCount(), dict.GetCount()) << serialized;
    for (int p = 1; p <= dict.GetCount(); ++p) {
      const std::string key = dict.GetKeyAt(p);
      EXPECT_EQ(back.GetKeyAt(p), key);
      EXPECT_EQ(back.GetItemText(key), dict.GetItemText(key)) << key;
      const std::unique_ptr<Dictionary> nested = dict.GetDictionary(key);
      if (automation::GetKind(dict.GetItem(key)) == 5) {
        EXPECT_EQ(back.GetDictionary(key)->Dump(), nested->Dump());
      }
    }
    EXPECT_EQ(back.Serialize(password), serialized);
  }
}

TEST(TextForm, ReadsNumbersBackAsIntegersAndSkipsWhatItCannotRead) {
  Dictionary dict;
  dict.SetItem("pos", Variant::R8(2.75));
  dict.SetItem("neg", Variant::R8(-2.75));
  dict.SetItem("empty", Text(""));
  dict.SetItem("", Text("no key"));
  Dictionary back;
  back.Parse(dict.Serialize());
  EXPECT_EQ(back.GetCount(), 2);
  EXPECT_EQ(back.GetItemText("pos"), "2");
  EXPECT_EQ(back.GetItemText("neg"), "-2");
  EXPECT_EQ(back.GetItem("pos").Type(), automation::VT_I4);
}

TEST(TextForm, UsesTheDefaultPasswordAndReadsOtherPasswordsQuietly) {
  Dictionary dict;
  dict.SetItem("site", Text("www.quillon.example"));
  const std::string serialized = dict.Serialize();
  EXPECT_EQ(serialized, dict.Serialize("kqme"));
  Dictionary back;
  back.Parse(serialized);
  EXPECT_EQ(back.GetItemText("site"), "www.quillon.example");
  back.Parse(serialized, "wrong");
  EXPECT_FALSE(back.Exists("site"));
}

}  // namespace
}  // namespace rankora::dict
