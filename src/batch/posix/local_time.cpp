#include "batch/local_time.h"

namespace rankora::batch {

std::optional<std::tm> LocalTime(std::chrono::system_clock::time_point at) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
  return local;
}

}  // namespace rankora::batch
