#include "lookup/component_failure.h"

#include <cstdint>
#include <cstdio>

namespace rankora::lookup {

std::string ComponentFailure(std::string_view component, ComponentStep step, automation::HRESULT code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
  return "组件 " + std::string(component) + (step == ComponentStep::kCreate ? " 无法创建（" : " 无法运行脚本（") + hex +
         "）";
}

}  // namespace rankora::lookup
