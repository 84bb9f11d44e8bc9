// An owned GDI object (a font, a bitmap, a brush...), deleted when its owner
// goes. Not copied; a moved-from owner holds nothing. The platform's headers
// stay out of the headers that hold one.
#pragma once

#include <utility>

namespace rankora::ui::win32 {

// DeleteObject, for the owner below.
void DeleteGdiObject(void* object) noexcept;

template <typename Handle>
class GdiObject {
 public:
  GdiObject() = default;
  // Takes over `handle`, which the caller no longer deletes.
  explicit GdiObject(Handle handle) noexcept : handle_(handle) {}
  GdiObject(const GdiObject&) = delete;
  GdiObject& operator=(const GdiObject&) = delete;
  GdiObject(GdiObject&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  GdiObject& operator=(GdiObject&& other) noexcept {
    if (this != &other) {
      Delete();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  ~GdiObject() { Delete(); }

  Handle Get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != nullptr; }

 private:
  void Delete() noexcept {
    if (handle_ != nullptr) DeleteGdiObject(handle_);
    handle_ = nullptr;
  }

  Handle handle_ = nullptr;
};

}  // namespace rankora::ui::win32
