// The ready-state sink: a minimal dispatch object laid out as the platform's
// (an interface pointer that points at a table of seven entry points in
// IDispatch order, then a zero). Its Invoke hands the registered handler the
// address of a record of Invoke's own arguments. The handler and the count of
// references are shared by all sinks.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "automation/object.h"

namespace rankora::net {

// A 16-byte interface id, as the platform lays it out.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};

inline constexpr Guid kIidDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIidUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// What Invoke received, word by word (pointer-sized words on every build).
struct InvokeRecord {
  std::uintptr_t self;
  std::uintptr_t member;
  std::uintptr_t interfaceId;
  std::uintptr_t locale;
  std::uintptr_t flags;
  std::uintptr_t params;
  std::uintptr_t result;
  std::uintptr_t excepInfo;
  std::uintptr_t argError;
};

// Called with the address of an InvokeRecord.
using ReadyStateHandler = std::function<void(std::uintptr_t record)>;

// The entry points, in table order, as a caller of the sink sees them, with
// the platform's calling convention for COM (RANKORA_COM_CALL, set by the
// build).
struct SinkEntries {
  std::int32_t(RANKORA_COM_CALL* QueryInterface)(void* self, const Guid* iid, void** out);
  std::int32_t(RANKORA_COM_CALL* AddRef)(void* self);
  std::int32_t(RANKORA_COM_CALL* Release)(void* self);
  std::int32_t(RANKORA_COM_CALL* GetTypeInfoCount)(void* self, unsigned* count);
  std::int32_t(RANKORA_COM_CALL* GetTypeInfo)(void* self, unsigned index, std::uint32_t locale, void** out);
  std::int32_t(RANKORA_COM_CALL* GetIDsOfNames)(void* self, const Guid* iid, const char16_t** names, unsigned count,
                                                std::uint32_t locale, std::int32_t* ids);
  std::int32_t(RANKORA_COM_CALL* Invoke)(void* self, std::int32_t member, const Guid* iid, std::uint32_t locale,
                                         std::uint16_t flags, void* params, void* result, void* excepInfo,
                                         unsigned* argError);
};

// The process-wide state of all sinks.
void SetReadyStateHandler(ReadyStateHandler handler);
std::int32_t SinkRefCount();

// The sink's table and pointers, kept inside the object that owns the sink.
class ReadyStateSink {
 public:
  ReadyStateSink() = default;
  // A copy points into itself, not into the object it was copied from.
  ReadyStateSink(const ReadyStateSink& other);
  ReadyStateSink& operator=(const ReadyStateSink& other);
  ~ReadyStateSink();

  // Fills the table and the two pointers (registration steps 2 to 4).
  void Fill();
  bool Filled() const { return interface_ != 0; }
  // The interface pointer: the address of the word that holds the table's.
  void* Interface() {
    return interface_ == 0
               ? nullptr
               : reinterpret_cast<void*>(interface_);  // NOLINT(performance-no-int-to-ptr): the sink's own address
  }
  const std::array<std::uintptr_t, 8>& Table() const { return table_; }

  // An object value through which an automation object can call the sink.
  // Once the sink is destroyed, calls through it fail and reach nothing.
  automation::Object AsObject();

  // The entry table every sink shares.
  static const SinkEntries& Entries();

  // The link that an object value from AsObject() calls through.
  class Connection;

 private:
  std::array<std::uintptr_t, 8> table_{};
  std::uintptr_t tableAddress_ = 0;
  std::uintptr_t interface_ = 0;
  std::shared_ptr<Connection> connection_;
  automation::Object object_;
};

}  // namespace rankora::net
