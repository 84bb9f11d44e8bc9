#include "components/dictionary/dictionary_component.h"

#include <cmath>
#include <list>
#include <unordered_map>

#include "automation/component.h"
#include "automation/convert.h"
#include "automation/registry.h"

namespace rankora::components {
namespace {

using namespace automation;

// The platform's error numbers for a dictionary.
constexpr HRESULT kKeyExists = MakeCode(0x800A01C9);
constexpr HRESULT kNotFound = MakeCode(0x800A802B);
constexpr HRESULT kInvalidCall = MakeCode(0x800A0005);
constexpr HRESULT kTypeMismatch = MakeCode(0x800A000D);
constexpr char16_t kSource[] = u"Microsoft VBScript runtime error";

enum Member : DispId {
  kItem = 0,
  kAdd = 1,
  kCount = 2,
  kExists = 3,
  kItems = 4,
  kKey = 5,
  kKeys = 6,
  kRemove = 7,
  kRemoveAll = 8,
  kCompareMode = 9,
};

const TypeInfo& DictionaryTypeInfo() {
  const ParamDesc key{VT_VARIANT, false, true};
  const ParamDesc value{VT_VARIANT, false, false};
  static const TypeInfo info({
      {"Item", kItem, false, InvokeKind::PropertyGet, VT_VARIANT, {key}, false},
      {"Item", kItem, false, InvokeKind::PropertyPut, VT_VARIANT, {key, value}, false},
      {"Item", kItem, false, InvokeKind::PropertyPutRef, VT_VARIANT, {key, value}, false},
      {"Add", kAdd, false, InvokeKind::Method, VT_EMPTY, {key, value}, false},
      {"Count", kCount, false, InvokeKind::PropertyGet, VT_I4, {}, false},
      {"Exists", kExists, false, InvokeKind::Method, VT_BOOL, {key}, false},
      {"Items", kItems, false, InvokeKind::Method, VT_VARIANT, {}, false},
      {"Key", kKey, false, InvokeKind::PropertyPut, VT_EMPTY, {key, key}, false},
      {"Keys", kKeys, false, InvokeKind::Method, VT_VARIANT, {}, false},
      {"Remove", kRemove, false, InvokeKind::Method, VT_EMPTY, {key}, false},
      {"RemoveAll", kRemoveAll, false, InvokeKind::Method, VT_EMPTY, {}, false},
      {"CompareMode", kCompareMode, false, InvokeKind::PropertyGet, VT_I4, {}, false},
      {"CompareMode", kCompareMode, false, InvokeKind::PropertyPut, VT_EMPTY, {ParamDesc{VT_I4, false, false}}, false},
  });
  return info;
}

char16_t FoldChar(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xFF41 && c <= 0xFF5A)) return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

// A key as the dictionary compares it.
struct KeyValue {
  enum class Kind : std::uint8_t { Empty, Null, Number, Text, Object } kind = Kind::Empty;
  double number = 0;
  std::u16string text;
  const Component* object = nullptr;

  friend bool operator==(const KeyValue&, const KeyValue&) = default;
};

struct KeyHash {
  std::size_t operator()(const KeyValue& key) const {
    std::size_t hash = static_cast<std::size_t>(key.kind);
    switch (key.kind) {
      case KeyValue::Kind::Number:
        hash ^= std::hash<double>{}(key.number) * 31;
        break;
      case KeyValue::Kind::Text:
        hash ^= std::hash<std::u16string>{}(key.text) * 31;
        break;
      case KeyValue::Kind::Object:
        hash ^= std::hash<const void*>{}(key.object) * 31;
        break;
      default:
        break;
    }
    return hash;
  }
};

class DictionaryComponent final : public Component {
 public:
  const TypeInfo* GetTypeInfo() const override { return &DictionaryTypeInfo(); }

  HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) override {
    switch (id) {
      case kItem:
        return kind == InvokeKind::PropertyGet ? GetItem(args[0], result, excep) : PutItem(args[0], args[1], excep);
      case kAdd:
        return Add(args[0], args[1], excep);
      case kCount:
        result = Variant::I4(static_cast<std::int32_t>(entries_.size()));
        return S_OK;
      case kExists:
        return Exists(args[0], result, excep);
      case kItems:
      case kKeys:
        result = List(id == kKeys);
        return S_OK;
      case kKey:
        return Rename(args[0], args[1], excep);
      case kRemove:
        return Remove(args[0], excep);
      case kRemoveAll:
        entries_.clear();
        index_.clear();
        return S_OK;
      case kCompareMode:
        if (kind == InvokeKind::PropertyGet) {
          result = Variant::I4(compareMode_);
          return S_OK;
        }
        return SetCompareMode(static_cast<std::int32_t>(args[0].Signed()), excep);
      default:
        return DISP_E_MEMBERNOTFOUND;
    }
  }

 private:
  struct Entry {
    Variant key;
    Variant item;
  };
  using Entries = std::list<Entry>;

  // False for a value that cannot be a key (an array, an error value).
  bool MakeKey(const Variant& value, KeyValue& key) const {
    const Variant& v = value.Deref();
    switch (v.Type()) {
      case VT_EMPTY:
        key.kind = KeyValue::Kind::Empty;
        return true;
      case VT_NULL:
        key.kind = KeyValue::Kind::Null;
        return true;
      case VT_BSTR:
        key.kind = KeyValue::Kind::Text;
        key.text = v.TextValue();
        // 1 text, 2 database and above 2 a locale's comparison all ignore
        // case; 0 and below (-1 "use the Option Compare setting", which a
        // dictionary has none of) compare binary.
        if (compareMode_ > 0) {
          for (char16_t& c : key.text) c = FoldChar(c);
        }
        return true;
      case VT_DISPATCH:
      case VT_UNKNOWN:
        key.kind = KeyValue::Kind::Object;
        key.object = v.ObjectValue().Get();
        return true;
      default:
        // Booleans and dates key as the numbers they hold.
        if (!NumericValue(v, key.number)) return false;
        key.kind = KeyValue::Kind::Number;
        if (key.number == 0) key.number = 0;  // -0 is 0
        return true;
    }
  }

  HRESULT Find(const Variant& value, KeyValue& key, Entries::iterator& entry, bool& found, ExcepInfo& excep) {
    if (!MakeKey(value, key)) return Raise(excep, kTypeMismatch, u"Type mismatch", kSource);
    const auto hit = index_.find(key);
    found = hit != index_.end();
    if (found) entry = hit->second;
    return S_OK;
  }

  void Insert(KeyValue key, const Variant& keyValue, const Variant& item) {
    entries_.push_back(Entry{keyValue.Deref(), item.Deref()});
    index_.emplace(std::move(key), std::prev(entries_.end()));
  }

  HRESULT GetItem(const Variant& keyValue, Variant& result, ExcepInfo& excep) {
    KeyValue key;
    Entries::iterator entry;
    bool found = false;
    if (const HRESULT code = Find(keyValue, key, entry, found, excep); Failed(code)) return code;
    if (found) {
      result = entry->item;
    } else {
      // Reading a missing key adds it with an empty item.
      Insert(std::move(key), keyValue, Variant());
      result.Clear();
    }
    return S_OK;
  }

  HRESULT PutItem(const Variant& keyValue, const Variant& item, ExcepInfo& excep) {
    KeyValue key;
    Entries::iterator entry;
    bool found = false;
    if (const HRESULT code = Find(keyValue, key, entry, found, excep); Failed(code)) return code;
    if (found) {
      entry->item = item.Deref();
    } else {
      Insert(std::move(key), keyValue, item);
    }
    return S_OK;
  }

  HRESULT Add(const Variant& keyValue, const Variant& item, ExcepInfo& excep) {
    KeyValue key;
    Entries::iterator entry;
    bool found = false;
    if (const HRESULT code = Find(keyValue, key, entry, found, excep); Failed(code)) return code;
    if (found)
      return Raise(excep, kKeyExists, u"This key is already associated with an element of this collection", kSource);
    Insert(std::move(key), keyValue, item);
    return S_OK;
  }

  HRESULT Exists(const Variant& keyValue, Variant& result, ExcepInfo& excep) {
    KeyValue key;
    Entries::iterator entry;
    bool found = false;
    if (const HRESULT code = Find(keyValue, key, entry, found, excep); Failed(code)) return code;
    result = Variant::Bool(found);
    return S_OK;
  }

  HRESULT Remove(const Variant& keyValue, ExcepInfo& excep) {
    KeyValue key;
    Entries::iterator entry;
    bool found = false;
    if (const HRESULT code = Find(keyValue, key, entry, found, excep); Failed(code)) return code;
    if (!found) return Raise(excep, kNotFound, u"Element not found", kSource);
    index_.erase(key);
    entries_.erase(entry);
    return S_OK;
  }

  HRESULT Rename(const Variant& oldValue, const Variant& newValue, ExcepInfo& excep) {
    KeyValue oldKey;
    KeyValue newKey;
    Entries::iterator entry;
    Entries::iterator clash;
    bool found = false;
    bool taken = false;
    if (const HRESULT code = Find(oldValue, oldKey, entry, found, excep); Failed(code)) return code;
    if (const HRESULT code = Find(newValue, newKey, clash, taken, excep); Failed(code)) return code;
    if (!found) return Raise(excep, kNotFound, u"Element not found", kSource);
    if (taken)
      return Raise(excep, kKeyExists, u"This key is already associated with an element of this collection", kSource);
    index_.erase(oldKey);
    entry->key = newValue.Deref();
    index_.emplace(std::move(newKey), entry);
    return S_OK;
  }

  // Any value is taken as it is; only a dictionary that holds entries refuses.
  HRESULT SetCompareMode(std::int32_t mode, ExcepInfo& excep) {
    if (!entries_.empty()) return Raise(excep, kInvalidCall, u"Invalid procedure call or argument", kSource);
    compareMode_ = mode;
    return S_OK;
  }

  Variant List(bool keys) const {
    std::vector<Variant> list;
    list.reserve(entries_.size());
    for (const Entry& entry : entries_) list.push_back(keys ? entry.key : entry.item);
    return Variant::Array(SafeArray::Variants(std::move(list)));
  }

  Entries entries_;
  std::unordered_map<KeyValue, Entries::iterator, KeyHash> index_;
  std::int32_t compareMode_ = 0;  // as set: 0 binary, 1 text, 2 database, above 2 a locale (as text)
};

const ClassRegistration registration(kDictionaryClsid, {kDictionaryProgId},
                                     [] { return MakeObject<DictionaryComponent>(); });

}  // namespace
}  // namespace rankora::components
