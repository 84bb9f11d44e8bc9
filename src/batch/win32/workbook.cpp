#include "batch/forms.h"

namespace rankora::batch {

// Debian's MinGW-w64 has no workbook library to link; the CSV form opens in
// Excel instead.
bool CanWriteWorkbook() { return false; }

std::error_code WriteWorkbook(const std::filesystem::path&, const std::vector<std::string>&,
                              const std::vector<Record>&) {
  return std::make_error_code(std::errc::not_supported);
}

}  // namespace rankora::batch
