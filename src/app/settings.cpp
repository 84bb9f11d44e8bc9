#include "app/settings.h"

#include <charconv>

#include "lookup/proxy_list.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

const char* SourceName(lookup::SourceKind kind) {
  switch (kind) {
    case lookup::SourceKind::kPage:
      return "page";
    case lookup::SourceKind::kApi:
      return "api";
    default:
      return "legacy";
  }
}

std::optional<int> ReadNumber(const SettingsStore& store, const std::string& name, int least, int most) {
  const std::optional<std::string> text = store.Read(name);
  if (!text) return std::nullopt;
  int value = 0;
  const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() || value < least || value > most) return std::nullopt;
  return value;
}

}  // namespace

bool IsSeedRun(const Settings& settings) {
  return settings.source == lookup::SourceKind::kLegacy &&
         settings.proxies.find_first_not_of(" \t\r\n") == std::string::npos;
}

SettingsCheck CheckSettings(const Settings& settings) {
  using text::Gbk;
  SettingsCheck check;
  if (settings.source == lookup::SourceKind::kApi && settings.key.find_first_not_of(' ') == std::string::npos) {
    check.problem = Gbk("爱站接口要填写 key。");
    return check;
  }
  if (settings.perMinute < 0 || settings.perMinute > kMostPerMinute) {
    check.problem =
        Gbk("每个出口每分钟的查询数要在 0 到 ") + std::to_string(kMostPerMinute) + Gbk(" 之间（0 为不限）。");
    return check;
  }
  if (settings.inFlight < 1 || settings.inFlight > kMostInFlight) {
    check.problem = Gbk("同时进行的查询数要在 1 到 ") + std::to_string(kMostInFlight) + Gbk(" 之间。");
    return check;
  }
  if (settings.coolDownMinutes < 1 || settings.coolDownMinutes > kMostCoolDownMinutes) {
    check.problem = Gbk("第一次冷却要在 1 到 ") + std::to_string(kMostCoolDownMinutes) + Gbk(" 分钟之间。");
    return check;
  }
  if (settings.proxies.find_first_not_of(" \t\r\n") == std::string::npos) return check;
  lookup::ProxyList list = lookup::ReadProxyList(settings.proxies);
  if (list.Empty()) {
    check.problem = Gbk("代理列表里没有一个代理地址。");
  } else if (!list.Ok()) {
    check.problem = Gbk("代理列表第 ") + std::to_string(list.problemLine) + Gbk(" 行不是代理地址：") + list.badLine +
                    Gbk("\r\n每行一个，例如 http://用户名:密码@1.2.3.4:8080 或 1.2.3.4:8080。");
  } else {
    check.exits = std::move(list.exits);
  }
  return check;
}

batch::RunSettings MakeRunSettings(const Settings& settings, std::vector<lookup::Exit> exits) {
  batch::RunSettings run;
  run.source.kind = settings.source;
  run.source.key = settings.key;
  run.source.cookie = settings.cookie;
  run.engine.ratePerMinute = settings.perMinute;
  run.engine.concurrency = settings.inFlight;
  run.engine.coolDown = std::chrono::minutes(settings.coolDownMinutes);
  run.engine.longestCoolDown = std::max(run.engine.longestCoolDown, run.engine.coolDown);
  run.engine.stopOnRefusal = exits.empty();
  run.engine.stopWhenUnreachable = exits.empty();
  run.exits = std::move(exits);
  run.form = batch::FormKind::kJsonl;
  return run;
}

Settings LoadSettings(const SettingsStore& store) {
  Settings settings;
  if (const auto source = store.Read("source")) {
    if (*source == "page") settings.source = lookup::SourceKind::kPage;
    if (*source == "api") settings.source = lookup::SourceKind::kApi;
  }
  settings.key = store.Read("key").value_or("");
  settings.cookie = store.Read("cookie").value_or("");
  settings.proxies = text::Gbk(store.Read("proxies").value_or(""));
  settings.perMinute = ReadNumber(store, "perMinute", 0, kMostPerMinute).value_or(settings.perMinute);
  settings.inFlight = ReadNumber(store, "inFlight", 1, kMostInFlight).value_or(settings.inFlight);
  settings.coolDownMinutes =
      ReadNumber(store, "coolDownMinutes", 1, kMostCoolDownMinutes).value_or(settings.coolDownMinutes);
  return settings;
}

bool SaveSettings(SettingsStore& store, const Settings& settings) {
  bool kept = store.Write("source", SourceName(settings.source), false);
  kept = store.Write("key", settings.key, true) && kept;
  kept = store.Write("cookie", settings.cookie, true) && kept;
  kept = store.Write("proxies", text::ToUtf8(settings.proxies), true) && kept;
  kept = store.Write("perMinute", std::to_string(settings.perMinute), false) && kept;
  kept = store.Write("inFlight", std::to_string(settings.inFlight), false) && kept;
  kept = store.Write("coolDownMinutes", std::to_string(settings.coolDownMinutes), false) && kept;
  return kept;
}

}  // namespace rankora::app
