#include "app/settings.h"

#include <gtest/gtest.h>

#include <map>

#include "app/program.h"
#include "fake_window.h"
#include "text/gbk.h"

namespace rankora::app {
namespace {

using text::Gbk;

using testing::MemoryStore;

TEST(Settings, SavedSettingsComeBackAsTheyWereWithTheSecretsMarked) {
  Settings settings;
  settings.source = lookup::SourceKind::kApi;
  settings.key = "0123abcd";
  settings.cookie = "uid=7; token=x";
  settings.proxies = "1.2.3.4:8080\r\n" + Gbk("# 备用") + "\r\nhttp://u:p@5.6.7.8:3128";
  settings.perMinute = 0;
  settings.inFlight = 40;
  settings.coolDownMinutes = 90;
  MemoryStore store;
  ASSERT_TRUE(SaveSettings(store, settings));
  EXPECT_EQ(LoadSettings(store), settings);
  EXPECT_TRUE(store.secrets["key"]);
  EXPECT_TRUE(store.secrets["cookie"]);
  EXPECT_TRUE(store.secrets["proxies"]);  // they may carry passwords
  EXPECT_FALSE(store.secrets["source"]);
  // Kept in UTF-8, whatever the program holds.
  EXPECT_NE(store.values["proxies"].find("备用"), std::string::npos);

  store.failing = true;
  EXPECT_FALSE(SaveSettings(store, settings));
}

TEST(Settings, AnEmptyOrDamagedStoreGivesTheSeedsSettings) {
  MemoryStore store;
  EXPECT_EQ(LoadSettings(store), Settings());
  EXPECT_TRUE(IsSeedRun(LoadSettings(store)));
  store.values = {{"source", "nonsense"}, {"perMinute", "-3"}, {"inFlight", "12x"}, {"coolDownMinutes", "999999"}};
  EXPECT_EQ(LoadSettings(store), Settings());
}

TEST(Settings, TheSeedsRunIsTheOldInterfaceWithoutExits) {
  Settings settings;
  EXPECT_TRUE(IsSeedRun(settings));
  settings.proxies = " \r\n\t";
  EXPECT_TRUE(IsSeedRun(settings));
  settings.proxies = "1.2.3.4:8080";
  EXPECT_FALSE(IsSeedRun(settings));
  settings = {};
  settings.source = lookup::SourceKind::kPage;
  EXPECT_FALSE(IsSeedRun(settings));
}

TEST(Settings, ACheckNamesTheFirstLineThatIsNoProxyAndKeepsNothing) {
  Settings settings;
  settings.proxies = "1.2.3.4:8080\r\n\r\nhttp://5.6.7.8:3128\r\nnot a proxy\r\n9.9.9.9:1";
  const SettingsCheck check = CheckSettings(settings);
  EXPECT_FALSE(check.Ok());
  EXPECT_TRUE(check.exits.empty());
  EXPECT_NE(text::ToUtf8(check.problem).find("第 4 行"), std::string::npos) << text::ToUtf8(check.problem);
  EXPECT_NE(check.problem.find("not a proxy"), std::string::npos);

  settings.proxies = Gbk("# 只有注释");
  EXPECT_FALSE(CheckSettings(settings).Ok());

  settings.proxies = "1.2.3.4:8080\nhttp://u:p@5.6.7.8:3128\n";
  const SettingsCheck good = CheckSettings(settings);
  ASSERT_TRUE(good.Ok()) << text::ToUtf8(good.problem);
  ASSERT_EQ(good.exits.size(), 2u);
  EXPECT_EQ(good.exits[1].user, "u");
}

TEST(Settings, ACheckRefusesNumbersOutOfRangeAndTheInterfaceWithoutAKey) {
  const auto refused = [](auto change) {
    Settings settings;
    change(settings);
    return !CheckSettings(settings).Ok();
  };
  EXPECT_TRUE(refused([](Settings& s) { s.perMinute = -1; }));
  EXPECT_TRUE(refused([](Settings& s) { s.perMinute = kMostPerMinute + 1; }));
  EXPECT_TRUE(refused([](Settings& s) { s.inFlight = 0; }));
  EXPECT_TRUE(refused([](Settings& s) { s.coolDownMinutes = 0; }));
  EXPECT_TRUE(refused([](Settings& s) {
    s.source = lookup::SourceKind::kApi;
    s.key = "  ";
  }));
  EXPECT_FALSE(refused([](Settings& s) { s.perMinute = 0; }));
}

TEST(Settings, ARunWithoutExitsStopsAtTheFirstRefusalAndOneWithThemGoesOn) {
  Settings settings;
  settings.source = lookup::SourceKind::kPage;
  settings.perMinute = 30;
  settings.inFlight = 3;
  settings.coolDownMinutes = 120;
  settings.cookie = "c=1";
  const batch::RunSettings alone = MakeRunSettings(settings, {});
  EXPECT_TRUE(alone.engine.stopOnRefusal);
  EXPECT_EQ(alone.source.kind, lookup::SourceKind::kPage);
  EXPECT_EQ(alone.source.cookie, "c=1");
  EXPECT_EQ(alone.engine.ratePerMinute, 30);
  EXPECT_EQ(alone.engine.concurrency, 3);
  EXPECT_EQ(alone.engine.coolDown, std::chrono::minutes(120));
  EXPECT_GE(alone.engine.longestCoolDown, alone.engine.coolDown);
  const batch::RunSettings through = MakeRunSettings(settings, {lookup::Exit{"1.2.3.4:8080", "", ""}});
  EXPECT_FALSE(through.engine.stopOnRefusal);
  EXPECT_EQ(through.exits.size(), 1u);
}

TEST(About, SaysTheVersionWhoAnswersEachComponentAndWhereTheUsersFilesAre) {
  testing::FakeWindow window;
  window.places = {std::filesystem::path("/home/user/.local/share/Rankora"), Gbk("/home/user/.config/Rankora.conf")};
  Program program(window);
  program.ShowAbout();
  ASSERT_EQ(window.messages.size(), 1u);
  const std::string about = text::ToUtf8(window.messages[0]);
  EXPECT_TRUE(about.starts_with("Rankora " RANKORA_VERSION "\r\n")) << about;
  for (const char* component :
       {"ScriptControl: ", "Scripting.Dictionary: ", "VBScript.RegExp: ", "WinHttp.WinHttpRequest.5.1: "}) {
    EXPECT_NE(about.find(component), std::string::npos) << component;
  }
  // This test program links the in-house dictionary: the platform's or its
  // own answers.
  EXPECT_EQ(about.find("Scripting.Dictionary: 无"), std::string::npos) << about;
  EXPECT_NE(about.find("/home/user/.local/share/Rankora"), std::string::npos);
  EXPECT_NE(about.find("/home/user/.config/Rankora.conf"), std::string::npos);
}

}  // namespace
}  // namespace rankora::app
