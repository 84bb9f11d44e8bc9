// What 查询 → 设置 chooses for the window's runs, how it is checked, and how
// it is remembered for the user through the platform's own store.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "batch/run.h"
#include "lookup/source.h"

namespace rankora::app {

struct Settings {
  lookup::SourceKind source = lookup::SourceKind::kLegacy;
  std::string key;           // the paid interface's key (ASCII); a secret
  std::string cookie;        // sent with the page source's requests; a secret
  std::string proxies;       // the exits as the user entered them, one a line (GBK); a secret (passwords)
  int perMinute = 12;        // lookups a minute through each exit; 0: unpaced
  int inFlight = 10;         // lookups in flight in all
  int coolDownMinutes = 15;  // the first cool-down of a refusing exit

  bool operator==(const Settings&) const = default;
};

// The settings' limits, as the dialog offers them.
inline constexpr int kMostPerMinute = 600;
inline constexpr int kMostInFlight = 200;
inline constexpr int kMostCoolDownMinutes = 24 * 60;

// The exits the settings name, or what is wrong with them (GBK, for a
// message box): a line of the proxies that is no proxy, by its number, a
// number out of its range, the paid interface without a key. Nothing is
// kept of settings with a problem.
struct SettingsCheck {
  std::vector<lookup::Exit> exits;
  std::string problem;

  bool Ok() const { return problem.empty(); }
};
SettingsCheck CheckSettings(const Settings& settings);

// True for the seed's run: the old interface through the direct connection,
// one domain after the other, stopping at the first refusal.
bool IsSeedRun(const Settings& settings);

// The long run's settings for checked settings and their exits: without
// exits a refusal stops the run, as the seed's does; with them it cools its
// exit and the run goes on.
batch::RunSettings MakeRunSettings(const Settings& settings, std::vector<lookup::Exit> exits);

// The user's own store of named texts: QSettings on Linux, the registry
// under HKEY_CURRENT_USER on Windows. A secret is kept where only this user
// can read it.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // UTF-8 values by name; nothing for a name never written.
  virtual std::optional<std::string> Read(const std::string& name) const = 0;
  // False when the store could not keep it.
  virtual bool Write(const std::string& name, const std::string& value, bool secret) = 0;
};

// Values that are missing or out of range read as the defaults.
Settings LoadSettings(const SettingsStore& store);
bool SaveSettings(SettingsStore& store, const Settings& settings);

}  // namespace rankora::app
