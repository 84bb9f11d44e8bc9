#include "files/output_lock.h"

#include <cstdint>
#include <cstdio>

namespace rankora::files {

std::string OutputLockName(const std::filesystem::path& fullPath) {
  // FNV-1a over the path's native bytes: stable across builds and programs,
  // unlike std::hash.
  const auto& native = fullPath.native();
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const auto unit : native) {
    auto value = static_cast<std::uint64_t>(unit);
    // Windows' file names are the same whatever their case.
    if (sizeof(unit) > 1 && value >= 'A' && value <= 'Z') value += 'a' - 'A';
    for (std::size_t byte = 0; byte < sizeof(unit); ++byte) {
      hash ^= (value >> (8 * byte)) & 0xFF;
      hash *= 0x100000001b3ULL;
    }
  }
  char name[40];
  std::snprintf(name, sizeof name, "rankora-output-%016llx.lock", static_cast<unsigned long long>(hash));
  return name;
}

std::filesystem::path OutputLockFile(const std::filesystem::path& path, const std::filesystem::path& folder,
                                     std::error_code& error) {
  const std::filesystem::path full = std::filesystem::weakly_canonical(std::filesystem::absolute(path, error), error);
  if (error) return {};
  return folder / OutputLockName(full);
}

}  // namespace rankora::files
