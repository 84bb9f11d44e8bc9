// The file layer's one owner of an open file of the platform (a descriptor,
// or a HANDLE), and the one loop that writes to it.
#pragma once

#include <cstdint>
#include <string_view>
#include <system_error>
#include <utility>

namespace rankora::files {

class Handle {
 public:
  // No file: writes to it fail.
  Handle() = default;
  // Holds `native` (a descriptor, or a HANDLE's value), closed by this when
  // `owned`, left open when not (standard output, say).
  Handle(std::intptr_t native, bool owned) : native_(native), owned_(owned) {}
  Handle(Handle&& other) noexcept
      : native_(std::exchange(other.native_, kNone)), owned_(std::exchange(other.owned_, false)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = std::exchange(other.native_, kNone);
      owned_ = std::exchange(other.owned_, false);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { Close(); }

  std::intptr_t Native() const { return native_; }
  // Whether it holds a file.
  explicit operator bool() const;
  // Lets go of the file now, closing it when owned. Closing can report a
  // write that failed late (a full disk over a network).
  std::error_code Close();
  // Writes all of `bytes` at the file's position: one call to the system,
  // more only when it takes a part. Nothing is held back in this process.
  std::error_code Write(std::string_view bytes) const;

 private:
  // No descriptor, and INVALID_HANDLE_VALUE.
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t native_ = kNone;
  bool owned_ = false;
};

}  // namespace rankora::files
