// Owners of the platform's COM resources for the Windows side: an interface
// reference, a VARIANT, a BSTR, a SAFEARRAY and an OLE initialisation of the
// thread. Each frees what it holds when it goes, on every way out of a
// function; none is copied except the interface reference, whose copy takes
// a reference of its own. A moved-from owner holds nothing.
#pragma once

#include "automation/com/platform_headers.h"

// The layer's headers come after the platform's (see platform_headers.h).
#include <type_traits>
#include <utility>

#include "automation/apartment.h"

namespace rankora::automation::com {

// The servers CoCreateInstance is asked for: any kind, in-process (server or
// handler), local or remote; and the same without the remote server, for a
// system that refuses it.
inline constexpr DWORD kAnyServer = CLSCTX_ALL;
inline constexpr DWORD kAnyServerButRemote = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;
// In this process only (a class registered with no server of its own).
inline constexpr DWORD kInProcess = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;

// One reference to a platform interface.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(const ComPtr& other) noexcept {
    ComPtr copy(other);
    std::swap(p_, copy.p_);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr taken(std::move(other));
    std::swap(p_, taken.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over the reference that `p` comes with.
  static ComPtr Adopt(Interface* p) noexcept {
    ComPtr owner;
    owner.p_ = p;
    return owner;
  }
  // Takes a reference of its own to `p`.
  static ComPtr Share(Interface* p) noexcept {
    ComPtr owner;
    owner.p_ = p;
    if (p != nullptr) p->AddRef();
    return owner;
  }

  void Reset() noexcept {
    if (Interface* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Where a call writes an interface it hands out with a reference; what
  // this held before is released first.
  Interface** Out() noexcept {
    Reset();
    return &p_;
  }
  // The same, for the calls that write any interface through void**.
  void** OutVoid() noexcept { return reinterpret_cast<void**>(Out()); }
  // Gives the reference up to the caller.
  Interface* Detach() noexcept { return std::exchange(p_, nullptr); }

  Interface* Get() const noexcept { return p_; }
  Interface* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  Interface* p_ = nullptr;
};

// A VARIANT that owns its value (VT_EMPTY at first); VariantClear frees it.
// Laid out as a VARIANT alone, so that an array of them is the array of
// VARIANTs a call's parameters are.
class OwnedVariant {
 public:
  OwnedVariant() noexcept { VariantInit(&value_); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  OwnedVariant(OwnedVariant&& other) noexcept : value_(other.Detach()) {}
  OwnedVariant& operator=(OwnedVariant&& other) noexcept {
    if (this != &other) {
      Clear();
      value_ = other.Detach();
    }
    return *this;
  }
  ~OwnedVariant() { Clear(); }

  // Frees the value; a by-reference one frees nothing it points at.
  void Clear() noexcept { VariantClear(&value_); }
  // Gives the value up to the caller and stays empty.
  VARIANT Detach() noexcept {
    const VARIANT value = value_;
    VariantInit(&value_);
    return value;
  }

  VARIANT* Get() noexcept { return &value_; }
  const VARIANT* Get() const noexcept { return &value_; }
  VARIANT& operator*() noexcept { return value_; }
  const VARIANT& operator*() const noexcept { return value_; }

  // The VARIANTs of a contiguous run of owners.
  static VARIANT* Array(OwnedVariant* first) noexcept { return first == nullptr ? nullptr : first->Get(); }

 private:
  VARIANT value_;
};
static_assert(sizeof(OwnedVariant) == sizeof(VARIANT) && std::is_standard_layout_v<OwnedVariant>);

// A BSTR; null holds nothing.
class OwnedBstr {
 public:
  OwnedBstr() = default;
  // Takes over `text`, which the caller no longer frees.
  explicit OwnedBstr(BSTR text) noexcept : text_(text) {}
  OwnedBstr(const OwnedBstr&) = delete;
  OwnedBstr& operator=(const OwnedBstr&) = delete;
  OwnedBstr(OwnedBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  OwnedBstr& operator=(OwnedBstr&& other) noexcept {
    if (this != &other) {
      SysFreeString(text_);
      text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
  }
  ~OwnedBstr() { SysFreeString(text_); }

  BSTR Detach() noexcept { return std::exchange(text_, nullptr); }
  BSTR Get() const noexcept { return text_; }

 private:
  BSTR text_ = nullptr;
};

// A SAFEARRAY; null holds nothing.
class OwnedSafeArray {
 public:
  OwnedSafeArray() = default;
  // Takes over `array`, which the caller no longer destroys.
  explicit OwnedSafeArray(SAFEARRAY* array) noexcept : array_(array) {}
  OwnedSafeArray(const OwnedSafeArray&) = delete;
  OwnedSafeArray& operator=(const OwnedSafeArray&) = delete;
  OwnedSafeArray(OwnedSafeArray&& other) noexcept : array_(std::exchange(other.array_, nullptr)) {}
  OwnedSafeArray& operator=(OwnedSafeArray&& other) noexcept {
    if (this != &other) {
      Destroy();
      array_ = std::exchange(other.array_, nullptr);
    }
    return *this;
  }
  ~OwnedSafeArray() { Destroy(); }

  SAFEARRAY* Detach() noexcept { return std::exchange(array_, nullptr); }
  SAFEARRAY* Get() const noexcept { return array_; }

 private:
  void Destroy() noexcept {
    if (array_ != nullptr) SafeArrayDestroy(array_);
    array_ = nullptr;
  }

  SAFEARRAY* array_ = nullptr;
};

// The calling thread's OLE initialisation, through the layer's apartment
// (automation/apartment.h), undone when the scope ends. Made and ended on
// one thread.
class OleScope {
 public:
  OleScope() : code_(automation::OleInitialize()) {}
  OleScope(const OleScope&) = delete;
  OleScope& operator=(const OleScope&) = delete;
  OleScope(OleScope&& other) noexcept : code_(other.code_), active_(std::exchange(other.active_, false)) {}
  OleScope& operator=(OleScope&& other) noexcept {
    if (this != &other) {
      End();
      code_ = other.code_;
      active_ = std::exchange(other.active_, false);
    }
    return *this;
  }
  ~OleScope() { End(); }

  // What the initialisation answered.
  HRESULT Code() const noexcept { return code_; }

 private:
  void End() noexcept {
    // The layer undoes only what succeeded, and counts each call either way.
    if (std::exchange(active_, false)) automation::OleUninitialize();
  }

  HRESULT code_;
  bool active_ = true;
};

}  // namespace rankora::automation::com
