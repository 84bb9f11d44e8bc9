// --version says which implementation answers to each class a lookup uses.
#include <gtest/gtest.h>

#include "automation/registry.h"
#include "ui/cli/options.h"

namespace rankora::cli {
namespace {

// The line of `progId` in the version text, without its name.
std::string Answer(const std::string& text, const std::string& progId) {
  const std::string start = "\n" + progId + ": ";
  const auto at = text.find(start);
  if (at == std::string::npos) return "(missing)";
  const auto from = at + start.size();
  return text.substr(from, text.find('\n', from) - from);
}

TEST(Version, NamesTheVersionAndWhoAnswersEachClass) {
  const std::string text = VersionText();
  EXPECT_EQ(text.rfind("rankora-batch ", 0), 0u) << text;
  // The script control, the dictionary and the regular expression are linked
  // in: whichever answers, somebody does.
  for (const char* progId : {"ScriptControl", "Scripting.Dictionary", "VBScript.RegExp"}) {
    const std::string answer = Answer(text, progId);
    EXPECT_TRUE(answer == "平台" || answer == "内置") << progId << ": " << answer;
  }
#ifndef _WIN32
  // Linux has no classes of its own.
  EXPECT_EQ(Answer(text, "ScriptControl"), "内置");
  EXPECT_EQ(Answer(text, "Scripting.Dictionary"), "内置");
  EXPECT_EQ(Answer(text, "VBScript.RegExp"), "内置");
  EXPECT_EQ(Answer(text, "WinHttp.WinHttpRequest.5.1"), "无（0x800401F3）");
#else
  EXPECT_EQ(Answer(text, "WinHttp.WinHttpRequest.5.1"), "平台");
#endif
}

TEST(Version, SaysNobodyAnswersAClassNobodyProvides) {
  const automation::ClassWithheld missing("ScriptControl");
  EXPECT_EQ(Answer(VersionText(), "ScriptControl"), "无（0x80040154）");
}

}  // namespace
}  // namespace rankora::cli
