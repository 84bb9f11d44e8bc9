#include "dict/dictionary.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "automation/apartment.h"
#include "automation/convert.h"
#include "automation/date.h"
#include "automation/dispatch.h"
#include "automation/reading.h"
#include "dict/pinyin.h"
#include "dict/scramble.h"
#include "regex/regex_object.h"
#include "text/gbk.h"
#include "text/value_text.h"

namespace rankora::dict {

using namespace automation;

namespace {

std::function<void()>& PendingMessages() {
  static std::function<void()> hook;
  return hook;
}

std::int32_t Truncated(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<std::int32_t>(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
}

bool IsDigit(int c) { return c >= '0' && c <= '9'; }

// `value` converted, or empty when it does not convert.
Variant ChangeTypeTo(const Variant& value, VarType type) {
  Variant converted;
  return Succeeded(ChangeType(value, type, converted)) ? converted : Variant();
}
bool IsUpper(int c) { return c >= 'A' && c <= 'Z'; }

std::string ThreeDigits(int value) {
  const std::string digits = "000" + std::to_string(value);
  return digits.substr(digits.size() - 3);
}

}  // namespace

void SetPendingMessagesHook(std::function<void()> hook) { PendingMessages() = std::move(hook); }

std::string ByteListText(const std::vector<std::uint8_t>& bytes) {
  std::string text = "{";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ",";
    text += std::to_string(bytes[i]);
  }
  return text + "}";
}

std::string ItemText(const Variant& value) {
  switch (GetKind(value)) {
    case 1:
      return text::DoubleToGbkText(GetNumber(value));
    case 2:
      return GetText(value);
    case 3:
      return text::FormatBool(GetBool(value));
    case 4: {
      DateParts parts;
      if (!PartsFromDate(GetDate(value), parts)) return {};
      return text::FormatDateTime(parts.year, parts.month, parts.day, parts.hour, parts.minute, parts.second);
    }
    case 7:
      return ByteListText(GetBytes(value));
    default:
      return {};
  }
}

double KeySortValue(const std::string& key) {
  const std::string upper = text::UpperAscii(key);
  // A key is numeric when it reads back as itself.
  const bool numeric = !key.empty() && text::DoubleToGbkText(GetNumber(Variant::Text(text::ToUtf16(key)))) == key;
  std::string s;
  for (std::size_t j = 0; j < upper.size(); ++j) {
    int c = static_cast<unsigned char>(upper[j]);
    if (numeric) {
      if (!IsDigit(c)) c = 11;
      s += j == 0 ? std::to_string(c) + "." : "0" + std::to_string(c);
      continue;
    }
    if (!IsDigit(c) && !IsUpper(c)) {
      // The two bytes from here as one character: its pinyin's first letter.
      const auto trail = j + 1 < upper.size() ? static_cast<unsigned char>(key[j + 1]) : 0;
      const char initial = PinyinInitial(static_cast<unsigned char>(c), static_cast<unsigned char>(trail));
      c = (initial != 0 ? initial : 0) + 100;
    }
    if (c == 100) continue;
    s += j == 0 ? std::to_string(c) + "." : ThreeDigits(c);
  }
  return s.empty() ? 0.0 : GetNumber(Variant::Text(text::ToUtf16(s)));
}

Dictionary::Dictionary() { Create(false); }

Dictionary::~Dictionary() {
  CoUninitialize();
  dictionary_.Clear();
}

std::unique_ptr<Dictionary> Dictionary::Clone() const {
  std::unique_ptr<Dictionary> clone(new Dictionary(Bare{}));
  clone->dictionary_ = dictionary_;
  // Its destruction uninitialises once, as every Dictionary's does.
  CoInitialize();
  return clone;
}

void Dictionary::SetObject(const Object& object) { dictionary_ = object; }

Object Dictionary::GetObject() const { return dictionary_; }

Object Dictionary::Create(std::optional<bool> keepExisting) {
  CoInitialize();
  if (!keepExisting.value_or(false)) automation::Create(dictionary_, "Scripting.Dictionary");
  return dictionary_;
}

Variant Dictionary::GetKeys() { return CallVariantMethod(dictionary_, "Keys"); }

Variant Dictionary::GetItems() { return CallVariantMethod(dictionary_, "Items"); }

void Dictionary::Add(const std::string& key, const Variant& item) {
  CallMethod(dictionary_, "Add", {key, Arg::Ref(item)});
}

void Dictionary::SetItem(const std::string& key, const Variant& item) {
  if (Exists(key)) {
    WriteProperty(dictionary_, "Item", {key, Arg::Ref(item)});
  } else {
    Add(key, item);
  }
}

std::string Dictionary::GetItemText(const std::string& key) { return ItemText(GetItem(key)); }

std::string Dictionary::GetKeyAt(std::int32_t position) {
  return GetText(ReadProperty(dictionary_, "Keys"), position < 1 ? -1 : position);
}

std::unique_ptr<Dictionary> Dictionary::GetDictionary(const std::string& key) {
  Dictionary temporary;
  Object found;
  if (CallBoolMethod(dictionary_, "Exists", {key})) {
    found = automation::GetObject(ReadProperty(dictionary_, "Item", {Variant::Text(text::ToUtf16(key))}));
  } else {
    found = temporary.Create(false);
  }
  temporary.SetObject(found);
  return temporary.Clone();
}

Variant Dictionary::GetItem(const std::string& key) {
  return ReadProperty(dictionary_, "Item", {Variant::Text(text::ToUtf16(key))});
}

std::int32_t Dictionary::FindItem(const std::string& text) {
  const Variant items = ReadProperty(dictionary_, "Items");
  const int count = ElementCount(items);
  for (int position = 1; position <= count; ++position) {
    if (const auto& hook = PendingMessages()) hook();
    if (text::Find(ElementText(items, position), text) > 0) return position;
  }
  return 0;
}

bool Dictionary::Exists(const std::string& key) {
  return ReadBoolProperty(dictionary_, "Exists", {Variant::Text(text::ToUtf16(key))});
}

std::int32_t Dictionary::GetCount() { return Truncated(GetNumber(ReadProperty(dictionary_, "Count"))); }

void Dictionary::RemoveAll() { CallMethod(dictionary_, "RemoveAll"); }

bool Dictionary::Remove(const std::string& key) { return CallBoolMethod(dictionary_, "Remove", {key}); }

std::string Dictionary::GetItemTextAt(std::int32_t position) {
  return ElementText(ReadProperty(dictionary_, "Items"), position);
}

std::string Dictionary::ElementText(const Variant& array, std::int32_t position) {
  if (position < 1 || ElementCount(array) < position) return {};
  return ItemText(GetVariant(array, position));
}

namespace {

void Pending() {
  if (const auto& hook = PendingMessages()) hook();
}

// Byte arrays scramble 0 and 255 alike. Scrambling never gives the byte 0,
// so a 255 is written as 0 and read back as 255: every array reads back
// unchanged, and texts written by the plain scrambling read as before.
std::string ScrambleArray(const Bytes& bytes, const std::string& password) {
  Bytes scrambled = ScrambleBytes(bytes, password);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == 255) scrambled[i] = 0;
  }
  return BytesToHex(scrambled);
}

Bytes UnscrambleArray(const std::string& hex, const std::string& password) {
  const Bytes scrambled = HexToBytes(hex);
  Bytes bytes = UnscrambleBytes(scrambled, password);
  for (std::size_t i = 0; i < scrambled.size(); ++i) {
    if (scrambled[i] == 0) bytes[i] = 255;
  }
  return bytes;
}

constexpr char kEntryPattern[] = "([0-9a-f]+?):(\\d):(\\{.*?\\})|([0-9a-f]+?):(\\d):([0-9a-f]+)";

}  // namespace

std::string Dictionary::Dump(std::int32_t indent) {
  Dictionary nested;
  std::string text = "Array(";
  const Variant keys = CallVariantMethod(dictionary_, "Keys");
  const Variant items = CallVariantMethod(dictionary_, "Items");
  const int count = ElementCount(keys);
  const std::string margin(static_cast<std::size_t>(std::max(indent, 0)), ' ');
  for (int p = 1; p <= count; ++p) {
    const Variant item = GetVariant(items, p);
    text += "\r\n" + margin + "  " + std::to_string(p) + ".[" + GetText(keys, p) + "] => ";
    switch (GetKind(item)) {
      case 3:
        text += text::FormatBool(GetBool(item));
        break;
      case 7:
        text += ByteListText(GetBytes(item));
        break;
      case 5:
        nested.SetObject(automation::GetObject(item));
        text += nested.Dump(indent + 3);
        break;
      default:
        text += GetText(item);
        break;
    }
  }
  return text + "\r\n" + margin + ")";
}

std::string Dictionary::Serialize(const std::optional<std::string>& given) {
  Dictionary nested;
  const std::string password = given.value_or(kDefaultPassword);
  std::string text = "{";
  const Variant keys = CallVariantMethod(dictionary_, "Keys");
  const Variant items = CallVariantMethod(dictionary_, "Items");
  const int count = ElementCount(keys);
  for (int p = 1; p <= count; ++p) {
    Pending();
    const Variant item = GetVariant(items, p);
    const int kind = GetKind(item);
    text += ScrambleText(GetText(keys, p), password) + ":" + std::to_string(kind) + ":";
    switch (kind) {
      case 3:
        text += GetBool(item) ? "1" : "0";
        break;
      case 7:
        text += ScrambleArray(GetBytes(item), password);
        break;
      case 5:
        nested.SetObject(automation::GetObject(item));
        text += nested.Serialize(password);
        break;
      default:
        text += ScrambleText(GetText(item), password);
        break;
    }
    text += ",";
  }
  if (count > 0) text.pop_back();
  return text + "}";
}

void Dictionary::Parse(const std::string& text, const std::optional<std::string>& given) {
  Create(false);
  regex::RegexObject pattern;
  Dictionary nested;
  const std::string password = given.value_or(kDefaultPassword);
  const std::string body = text.size() >= 2 ? text.substr(1, text.size() - 2) : text;
  pattern.Create(kEntryPattern);
  const std::int32_t matches = pattern.Execute(body);
  for (std::int32_t i = 1; i <= matches; ++i) {
    Pending();
    const std::int32_t kind = Truncated(GetNumber(Variant::Text(text::ToUtf16(pattern.GetSubMatch(i, 5)))));
    if (kind == 0 && pattern.GetSubMatch(i, 2) == "5") {
      nested.Parse(pattern.GetSubMatch(i, 3), password);
      SetItem(UnscrambleText(pattern.GetSubMatch(i, 1), password), Variant::Dispatch(nested.GetObject()));
      continue;
    }
    const std::string key = UnscrambleText(pattern.GetSubMatch(i, 4), password);
    const std::string raw = pattern.GetSubMatch(i, 6);
    Variant value;
    switch (kind) {
      case 4: {
        const Variant date = ChangeTypeTo(Variant::Text(text::ToUtf16(UnscrambleText(raw, password))), VT_DATE);
        value = date.IsEmpty() ? Variant::Date(0) : date;
        break;
      }
      case 3:
        value = Variant::Bool(raw == "1");
        break;
      case 7:
        value = Variant::Array(SafeArray::Bytes(UnscrambleArray(raw, password)));
        break;
      case 1:
        value = Variant::I4(Truncated(GetNumber(Variant::Text(text::ToUtf16(UnscrambleText(raw, password))))));
        break;
      default:
        value = Variant::Text(text::ToUtf16(UnscrambleText(raw, password)));
        break;
    }
    SetItem(key, value);
  }
}

bool Dictionary::SortByKey() {
  const std::int32_t count = GetCount();
  const Variant keys = GetKeys();
  const Variant items = GetItems();
  struct Record {
    std::string key;
    Variant item;
    double value;
  };
  std::vector<Record> records;
  records.reserve(static_cast<std::size_t>(std::max(count, 0)));
  for (std::int32_t p = 1; p <= count; ++p) {
    std::string key = GetText(keys, p);
    const double value = KeySortValue(key);
    records.push_back({std::move(key), GetVariant(items, p), value});
  }
  // The bubble order itself: values within the tolerance keep their order.
  std::vector<std::size_t> order(records.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  for (std::size_t pass = 1; pass < order.size(); ++pass) {
    bool swapped = false;
    for (std::size_t p = 0; p + pass < order.size(); ++p) {
      if (records[order[p]].value - records[order[p + 1]].value > 0.0000001) {
        std::swap(order[p], order[p + 1]);
        swapped = true;
      }
    }
    if (!swapped) break;
  }
  RemoveAll();
  for (const std::size_t index : order) SetItem(records[index].key, records[index].item);
  return true;
}

}  // namespace rankora::dict
