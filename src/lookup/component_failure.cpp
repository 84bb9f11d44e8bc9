#include "lookup/component_failure.h"

#include <cstdint>
#include <cstdio>

#include "automation/dispatch.h"

namespace rankora::lookup {
namespace {

std::string CodeText(automation::HRESULT code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
  return hex;
}

}  // namespace

std::string ComponentFailure(std::string_view component, ComponentStep step, automation::HRESULT code) {
  return "组件 " + std::string(component) + (step == ComponentStep::kCreate ? " 无法创建（" : " 无法运行脚本（") +
         CodeText(code) + "）";
}

std::string ComponentProviders() {
  static constexpr const char* kClasses[] = {"ScriptControl", "Scripting.Dictionary", "VBScript.RegExp",
                                             "WinHttp.WinHttpRequest.5.1"};
  std::string text;
  for (const char* progId : kClasses) {
    automation::HRESULT code = automation::S_OK;
    if (!text.empty()) text += '\n';
    text += std::string(progId) + ": ";
    switch (automation::WhoProvides(progId, &code)) {
      case automation::Provider::kPlatform:
        text += "平台";
        break;
      case automation::Provider::kInHouse:
        text += "内置";
        break;
      case automation::Provider::kNone:
        text += "无（" + CodeText(code) + "）";
        break;
    }
  }
  return text;
}

}  // namespace rankora::lookup
