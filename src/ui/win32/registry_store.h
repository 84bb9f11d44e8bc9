// The user's settings in the registry, under HKEY_CURRENT_USER\Software\Rankora:
// the user's own hive, which other users cannot read. Each name is a REG_SZ
// value holding the UTF-16 form of its UTF-8 text.
#pragma once

#include <optional>
#include <string>

#include "app/settings.h"

namespace rankora::ui::win32 {

class RegistryStore final : public app::SettingsStore {
 public:
  std::optional<std::string> Read(const std::string& name) const override;
  bool Write(const std::string& name, const std::string& value, bool secret) override;

  // The key under HKEY_CURRENT_USER.
  static const wchar_t* KeyPath();
};

}  // namespace rankora::ui::win32
