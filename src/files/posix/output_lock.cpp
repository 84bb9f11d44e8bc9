#include "files/output_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "files/posix/system.h"

namespace rankora::files {

OutputLock::Taken OutputLock::Take(const std::filesystem::path& path) {
  Taken taken;
  std::error_code error;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::filesystem::path folder = runtime != nullptr && *runtime == '/'
                                           ? std::filesystem::path(runtime)
                                           : std::filesystem::temp_directory_path(error);
  if (error) {
    taken.error = error;
    return taken;
  }
  const std::filesystem::path lockPath = OutputLockFile(path, folder, error);
  if (error) {
    taken.error = error;
    return taken;
  }
  const int descriptor = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (descriptor < 0) {
    taken.error = LastError();
    return taken;
  }
  Handle handle(descriptor, true);
  // A lock of the open file itself (not of the process, as plain record
  // locks are), so that two runs in one process exclude each other too.
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(descriptor, F_OFD_SETLK, &lock) != 0) {
    taken.error = std::make_error_code(std::errc::device_or_resource_busy);
    // The holder wrote its process id into the file.
    char text[24] = {};
    if (pread(descriptor, text, sizeof text - 1, 0) > 0) taken.holder = std::strtol(text, nullptr, 10);
    return taken;
  }
  // Who holds it, for the next run to say.
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(descriptor, 0) == 0) (void)pwrite(descriptor, pid.data(), pid.size(), 0);
  taken.lock = OutputLock(std::move(handle));
  return taken;
}

}  // namespace rankora::files
