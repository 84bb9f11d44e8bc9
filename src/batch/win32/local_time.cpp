#include "batch/local_time.h"

#include <time.h>

namespace rankora::batch {

std::optional<std::tm> LocalTime(std::chrono::system_clock::time_point at) {
  // The 64-bit functions by name: the 32-bit program's time_t and
  // localtime stop in 2038.
  const auto seconds = std::chrono::floor<std::chrono::seconds>(at.time_since_epoch()).count();
  const __time64_t moment = seconds;
  std::tm local{};
  if (_localtime64_s(&local, &moment) != 0) return std::nullopt;
  return local;
}

}  // namespace rankora::batch
