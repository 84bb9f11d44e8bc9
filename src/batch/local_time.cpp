#include "batch/local_time.h"

namespace rankora::batch {

std::string LocalTimeText(std::chrono::system_clock::time_point at, const char* format) {
  const std::optional<std::tm> local = LocalTime(at);
  if (!local) return {};
  char text[64];
  const std::size_t length = std::strftime(text, sizeof text, format, &*local);
  return std::string(text, length);
}

}  // namespace rankora::batch
