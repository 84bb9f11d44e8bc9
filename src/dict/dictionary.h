// Dictionary: the platform's keyed dictionary (ProgID "Scripting.Dictionary")
// with typed reads, reads by 1-based position, nested dictionaries, a search
// over the items' texts and a re-ordering by key. Keys and texts are GBK;
// items are variants. A failure gives the empty value of its kind.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::dict {

// Called between the items of a long search, so a window can keep handling
// its events (nothing by default).
void SetPendingMessagesHook(std::function<void()> hook);

// "{1,2,255}"
std::string ByteListText(const std::vector<std::uint8_t>& bytes);

// A value's text by its kind: numbers as "%.13g", texts as they are, 真/假,
// dates in Chinese units, byte arrays as ByteListText, anything else empty.
std::string ItemText(const automation::Variant& value);

inline constexpr char kDefaultPassword[] = "kqme";

// The sort value of a key for SortByKey (see the .cpp).
double KeySortValue(const std::string& key);

// Operations stand in the order of the class's slots.
class Dictionary {
 public:
  // Holds a new, empty component.
  Dictionary();
  Dictionary(const Dictionary&) = delete;
  Dictionary& operator=(const Dictionary&) = delete;
  ~Dictionary();

  // A second Dictionary on the same component.
  std::unique_ptr<Dictionary> Clone() const;
  void SetObject(const automation::Object& object);
  automation::Object GetObject() const;
  automation::Object Create(std::optional<bool> keepExisting = std::nullopt);
  automation::Variant GetKeys();
  automation::Variant GetItems();
  void Add(const std::string& key, const automation::Variant& item);
  void SetItem(const std::string& key, const automation::Variant& item);
  std::string GetItemText(const std::string& key);
  std::string GetKeyAt(std::int32_t position);
  // The dictionary stored under `key`, or a new empty one (not stored).
  std::unique_ptr<Dictionary> GetDictionary(const std::string& key);
  automation::Variant GetItem(const std::string& key);
  // The 1-based position of the first item whose text contains `text`, or 0.
  std::int32_t FindItem(const std::string& text);
  bool Exists(const std::string& key);
  std::int32_t GetCount();
  void RemoveAll();
  bool Remove(const std::string& key);
  std::string GetItemTextAt(std::int32_t position);
  std::string ElementText(const automation::Variant& array, std::int32_t position);
  // The readable listing: "Array(", a line per pair, ")"; nested
  // dictionaries indented by three more.
  std::string Dump(std::int32_t indent = 0);
  // The one-line form with keys and texts scrambled; `kqme` when no
  // password is given.
  std::string Serialize(const std::optional<std::string>& password = std::nullopt);
  // Replaces the contents with what a serialised text holds; what does not
  // match is skipped. One level of nested dictionaries is read back.
  void Parse(const std::string& text, const std::optional<std::string>& password = std::nullopt);
  // Orders the pairs by their keys' sort values.
  bool SortByKey();

 private:
  struct Bare {};
  explicit Dictionary(Bare /*unused*/) {}

  automation::Object dictionary_;
};

}  // namespace rankora::dict
