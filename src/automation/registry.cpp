#include "automation/registry.h"

#include <atomic>
#include <cctype>
#include <mutex>
#include <unordered_map>

#include "automation/name.h"

namespace rankora::automation {
namespace {

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, std::string> clsidByProgId;  // folded ProgID
  std::unordered_map<std::string, Factory> factoryByClsid;
  std::unordered_map<std::string, HRESULT> withheld;  // folded ProgID
};

Registry& GetRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

HRESULT ClsidFromString(std::string_view text, std::string& clsid) {
  // {8-4-4-4-12} hexadecimal digits.
  static constexpr std::string_view kShape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
  if (text.size() != kShape.size()) return CO_E_CLASSSTRING;
  std::string result(text);
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const auto c = static_cast<unsigned char>(result[i]);
    if (kShape[i] == 'x') {
      if (std::isxdigit(c) == 0) return CO_E_CLASSSTRING;
      result[i] = static_cast<char>(std::toupper(c));
    } else if (result[i] != kShape[i]) {
      return CO_E_CLASSSTRING;
    }
  }
  clsid = std::move(result);
  return S_OK;
}

void RegisterClass(std::string_view clsid, const std::vector<std::string>& progIds, Factory factory) {
  std::string normal;
  if (Failed(ClsidFromString(clsid, normal))) return;
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  for (const std::string& progId : progIds) registry.clsidByProgId[FoldName(progId)] = normal;
  registry.factoryByClsid[normal] = std::move(factory);
}

HRESULT ClsidFromProgId(std::string_view progId, std::string& clsid) {
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  const auto found = registry.clsidByProgId.find(FoldName(progId));
  if (found == registry.clsidByProgId.end()) return CO_E_CLASSSTRING;
  clsid = found->second;
  return S_OK;
}

bool IsRegistered(std::string_view progId) {
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  return registry.clsidByProgId.contains(FoldName(progId));
}

ClassWithheld::ClassWithheld(std::string_view progId, HRESULT code) : folded_(FoldName(progId)) {
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  registry.withheld[folded_] = code;
}

ClassWithheld::~ClassWithheld() {
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  registry.withheld.erase(folded_);
}

namespace {
std::atomic<int> inHouseFirst{0};
}  // namespace

InHouseFirst::InHouseFirst() { ++inHouseFirst; }
InHouseFirst::~InHouseFirst() { --inHouseFirst; }
bool IsInHouseFirst() { return inHouseFirst.load() > 0; }

HRESULT WithheldCode(std::string_view progId) {
  Registry& registry = GetRegistry();
  const std::lock_guard lock(registry.mutex);
  if (registry.withheld.empty()) return S_OK;
  const auto found = registry.withheld.find(FoldName(progId));
  return found == registry.withheld.end() ? S_OK : found->second;
}

HRESULT CreateInstance(const std::string& clsid, Object& object) {
  Factory factory;
  {
    Registry& registry = GetRegistry();
    const std::lock_guard lock(registry.mutex);
    const auto found = registry.factoryByClsid.find(clsid);
    if (found == registry.factoryByClsid.end()) return REGDB_E_CLASSNOTREG;
    factory = found->second;
  }
  try {
    object = factory();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  return object.IsEmpty() ? E_FAIL : S_OK;
}

}  // namespace rankora::automation
