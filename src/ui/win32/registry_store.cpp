#include "ui/win32/registry_store.h"

#include <windows.h>

#include <vector>

#include "ui/win32/wide_text.h"

namespace rankora::ui::win32 {
const wchar_t* RegistryStore::KeyPath() { return L"Software\\Rankora"; }

std::optional<std::string> RegistryStore::Read(const std::string& name) const {
  const std::wstring value = WideFromUtf8(name);
  DWORD bytes = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, KeyPath(), value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  // The value may grow between the two calls: read again until it fits.
  for (;;) {
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    const LSTATUS status =
        RegGetValueW(HKEY_CURRENT_USER, KeyPath(), value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size);
    if (status == ERROR_MORE_DATA) {
      bytes = size;
      continue;
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    return Utf8FromWide(std::wstring(text.data()));
  }
}

bool RegistryStore::Write(const std::string& name, const std::string& value, bool) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, KeyPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const std::wstring wideName = WideFromUtf8(name);
  const std::wstring text = WideFromUtf8(value);
  const LSTATUS status = RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

}  // namespace rankora::ui::win32
