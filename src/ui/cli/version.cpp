#include "ui/cli/options.h"

#include "automation/apartment.h"
#include "lookup/component_failure.h"

namespace rankora::cli {

std::string VersionText() {
  automation::CoInitialize();
  std::string text = std::string("rankora-batch ") + RANKORA_VERSION + "\n" + lookup::ComponentProviders();
  automation::CoUninitialize();
  return text;
}

}  // namespace rankora::cli
