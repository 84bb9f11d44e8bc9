#include "net/ready_state_sink.h"

#include <cstring>
#include <mutex>

#include "automation/component.h"

namespace rankora::net {
namespace {

using automation::E_FAIL;
using automation::E_NOINTERFACE;
using automation::E_NOTIMPL;
using automation::S_OK;

constexpr std::int32_t kDisconnected = static_cast<std::int32_t>(0x80010108);  // RPC_E_DISCONNECTED

ReadyStateHandler& Handler() {
  static ReadyStateHandler handler;
  return handler;
}

std::int32_t refCount = 0;

std::int32_t RANKORA_COM_CALL QueryInterfaceEntry(void* self, const Guid* iid, void** out) noexcept {
  if (out == nullptr) return static_cast<std::int32_t>(0x80004003);  // E_POINTER
  *out = nullptr;
  if (iid == nullptr || std::memcmp(iid, &kIidDispatch, sizeof(Guid)) != 0) return E_NOINTERFACE;
  *out = self;
  ++refCount;
  return S_OK;
}

std::int32_t RANKORA_COM_CALL AddRefEntry(void* /*self*/) noexcept { return ++refCount; }

// Frees nothing: the sink lives inside the object that owns it.
std::int32_t RANKORA_COM_CALL ReleaseEntry(void* /*self*/) noexcept { return --refCount; }

std::int32_t RANKORA_COM_CALL GetTypeInfoCountEntry(void* /*self*/, unsigned* count) noexcept {
  if (count != nullptr) *count = 1;
  return S_OK;
}

std::int32_t RANKORA_COM_CALL GetTypeInfoEntry(void*, unsigned, std::uint32_t, void**) noexcept { return E_NOTIMPL; }

std::int32_t RANKORA_COM_CALL GetIDsOfNamesEntry(void*, const Guid*, const char16_t**, unsigned, std::uint32_t,
                                                 std::int32_t*) noexcept {
  return E_NOTIMPL;
}

std::int32_t RANKORA_COM_CALL InvokeEntry(void* self, std::int32_t member, const Guid* iid, std::uint32_t locale,
                                          std::uint16_t flags, void* params, void* result, void* excepInfo,
                                          unsigned* argError) noexcept {
  const InvokeRecord record{reinterpret_cast<std::uintptr_t>(self),
                            static_cast<std::uintptr_t>(static_cast<std::uint32_t>(member)),
                            reinterpret_cast<std::uintptr_t>(iid),
                            locale,
                            flags,
                            reinterpret_cast<std::uintptr_t>(params),
                            reinterpret_cast<std::uintptr_t>(result),
                            reinterpret_cast<std::uintptr_t>(excepInfo),
                            reinterpret_cast<std::uintptr_t>(argError)};
  // A registration without a handler has nothing to call. The platform
  // calls this entry: a handler's exception stops here (a 32-bit build
  // cannot unwind through the platform's frames).
  try {
    if (const ReadyStateHandler& handler = Handler()) handler(reinterpret_cast<std::uintptr_t>(&record));
  } catch (...) {
    return E_FAIL;
  }
  return S_OK;
}

const SinkEntries kEntries{QueryInterfaceEntry, AddRefEntry,        ReleaseEntry, GetTypeInfoCountEntry,
                           GetTypeInfoEntry,    GetIDsOfNamesEntry, InvokeEntry};

}  // namespace

// The link from an automation object to a live sink. The sink cuts it when
// it goes; a call that arrives later, or on another thread while the sink is
// going, finds it cut and reaches nothing.
class ReadyStateSink::Connection {
 public:
  explicit Connection(void* sink) : sink_(sink) {}

  void Cut() {
    const std::lock_guard lock(mutex_);
    sink_ = nullptr;
  }

  // The sink's interface pointer while it lives.
  void* Native() {
    const std::lock_guard lock(mutex_);
    return sink_;
  }

  std::int32_t Invoke(automation::DispId member) {
    const std::lock_guard lock(mutex_);
    if (sink_ == nullptr) return kDisconnected;
    // Through the table, as any caller of the sink goes.
    const auto* table = *static_cast<const SinkEntries* const*>(sink_);
    return table->Invoke(sink_, member, &kIidUnknown, 0, 1, nullptr, nullptr, nullptr, nullptr);
  }

 private:
  std::mutex mutex_;
  void* sink_;
};

namespace {

// The sink as an automation object, for writing it to a property.
class SinkObject final : public automation::Component {
 public:
  explicit SinkObject(std::shared_ptr<ReadyStateSink::Connection> connection) : connection_(std::move(connection)) {}
  const automation::TypeInfo* GetTypeInfo() const override { return nullptr; }
  automation::HRESULT GetIdOfName(std::u16string_view, automation::DispId& id) override {
    id = automation::DISPID_VALUE;
    return S_OK;
  }
  automation::HRESULT Invoke(automation::DispId id, automation::InvokeKind, automation::CallArgs&, automation::Variant&,
                             automation::ExcepInfo&) override {
    return connection_->Invoke(id);
  }
  // A platform object is handed the sink itself.
  void* NativeInterface() const override { return connection_->Native(); }

 private:
  std::shared_ptr<ReadyStateSink::Connection> connection_;
};

}  // namespace

void SetReadyStateHandler(ReadyStateHandler handler) { Handler() = std::move(handler); }

std::int32_t SinkRefCount() { return refCount; }

const SinkEntries& ReadyStateSink::Entries() { return kEntries; }

ReadyStateSink::ReadyStateSink(const ReadyStateSink& other) : table_(other.table_) {
  if (other.Filled()) Fill();
}

ReadyStateSink& ReadyStateSink::operator=(const ReadyStateSink& other) {
  if (this != &other) {
    table_ = other.table_;
    if (other.Filled()) Fill();
  }
  return *this;
}

ReadyStateSink::~ReadyStateSink() {
  if (connection_) connection_->Cut();
}

void ReadyStateSink::Fill() {
  const void* entries[] = {
      reinterpret_cast<const void*>(kEntries.QueryInterface), reinterpret_cast<const void*>(kEntries.AddRef),
      reinterpret_cast<const void*>(kEntries.Release),        reinterpret_cast<const void*>(kEntries.GetTypeInfoCount),
      reinterpret_cast<const void*>(kEntries.GetTypeInfo),    reinterpret_cast<const void*>(kEntries.GetIDsOfNames),
      reinterpret_cast<const void*>(kEntries.Invoke)};
  for (std::size_t i = 0; i < 7; ++i) table_[i] = reinterpret_cast<std::uintptr_t>(entries[i]);
  table_[7] = 0;
  // The word the interface pointer points at holds the address of the
  // entries; callers reach them as a table of SinkEntries.
  tableAddress_ = reinterpret_cast<std::uintptr_t>(&kEntries);
  interface_ = reinterpret_cast<std::uintptr_t>(&tableAddress_);
  if (connection_) connection_->Cut();
  connection_ = std::make_shared<Connection>(Interface());
  object_ = automation::MakeObject<SinkObject>(connection_);
}

automation::Object ReadyStateSink::AsObject() { return object_; }

}  // namespace rankora::net
