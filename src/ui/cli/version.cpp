#include "ui/cli/options.h"

#include <cstdint>
#include <cstdio>

#include "automation/apartment.h"
#include "automation/dispatch.h"

namespace rankora::cli {

std::string VersionText() {
  static constexpr const char* kClasses[] = {"ScriptControl", "Scripting.Dictionary", "VBScript.RegExp",
                                             "WinHttp.WinHttpRequest.5.1"};
  std::string text = std::string("rankora-batch ") + RANKORA_VERSION;
  automation::CoInitialize();
  for (const char* progId : kClasses) {
    automation::HRESULT code = automation::S_OK;
    text += std::string("\n") + progId + ": ";
    switch (automation::WhoProvides(progId, &code)) {
      case automation::Provider::kPlatform:
        text += "平台";
        break;
      case automation::Provider::kInHouse:
        text += "内置";
        break;
      case automation::Provider::kNone: {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
        text += std::string("无（") + hex + "）";
        break;
      }
    }
  }
  automation::CoUninitialize();
  return text;
}

}  // namespace rankora::cli
