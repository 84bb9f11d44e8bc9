// What an in-house automation component is: an object that publishes its
// members' type information and answers calls by member number, as a
// platform IDispatch does.
#pragma once

#include <atomic>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "automation/hresult.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::automation {

using DispId = std::int32_t;
inline constexpr DispId DISPID_VALUE = 0;
inline constexpr DispId DISPID_PROPERTYPUT = -3;

// Invoke kinds, numbered as the platform's.
enum class InvokeKind : std::uint8_t { Method = 1, PropertyGet = 2, PropertyPut = 4, PropertyPutRef = 8 };

struct ParamDesc {
  VarType type = VT_VARIANT;  // VT_VARIANT: any value, passed unconverted
  bool optional = false;
  bool byRef = false;
};

// One member as the type information describes it. A function member is
// bound under its own invoke kind; a variable (a plain property) is bound
// under property get, put and put by reference, and written by reference
// when its type is an object or an array.
struct MemberDesc {
  std::string name;  // ASCII, as declared
  DispId id = 0;
  bool variable = false;
  InvokeKind kind = InvokeKind::Method;  // functions only
  VarType type = VT_VARIANT;             // result type, or the variable's type
  std::vector<ParamDesc> params;         // functions only; a put's value is the last
  bool varArgs = false;                  // extra arguments follow the declared ones

  std::size_t RequiredCount() const;
};

// A component's members, bound by name (ASCII letters in any case) and kind
// in constant time.
class TypeInfo {
 public:
  explicit TypeInfo(std::vector<MemberDesc> members);

  // The member `name` as bound under `kind`, or null.
  const MemberDesc* Bind(std::string_view name, InvokeKind kind) const;
  const std::vector<MemberDesc>& Members() const { return members_; }

 private:
  std::vector<MemberDesc> members_;
  std::unordered_map<std::string, std::size_t> index_;  // folded name + kind
};

// What a component reports when a call raises an error.
struct ExcepInfo {
  HRESULT code = 0;
  std::u16string source;
  std::u16string description;
};

// The arguments of one call, first to last. A put's value is the last one;
// arguments not given are Variant::Missing(); by-reference parameters arrive
// as VT_BYREF values.
class CallArgs {
 public:
  explicit CallArgs(std::span<Variant> args) : args_(args) {}
  std::size_t Count() const { return args_.size(); }
  // The argument at `index`, dereferenced; Missing() past the end.
  const Variant& operator[](std::size_t index) const;
  Variant& Raw(std::size_t index) { return args_[index]; }
  std::span<Variant> All() const { return args_; }
  bool Given(std::size_t index) const { return index < args_.size() && !args_[index].Deref().IsMissing(); }

 private:
  std::span<Variant> args_;
};

// The base of every in-house component. Components are made with MakeObject
// and live as long as an Object refers to them.
class Component {
 public:
  Component() = default;
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;
  virtual ~Component() = default;

  void AddRef() const { refs_.fetch_add(1, std::memory_order_relaxed); }
  // Adds a reference unless the last one is already gone (the component is
  // on its way out), for lookups that hold components without a reference.
  bool AddRefIfAlive() const;
  void Release() const;
  std::uint32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

  // Null for a component without type information.
  virtual const TypeInfo* GetTypeInfo() const = 0;
  // Whether the component's members bind through type information (Bind);
  // one without answers names through GetIdOfName.
  virtual bool HasTypeInfo() const { return GetTypeInfo() != nullptr; }
  // The member `name` as bound under `kind`, or null. The default looks the
  // name up in GetTypeInfo(); the pointer stays valid while the component
  // lives.
  virtual const MemberDesc* Bind(std::string_view name, InvokeKind kind);
  // For a component without type information that answers names all the
  // same (a script object): the member number of `name`. The default answers
  // no name.
  virtual HRESULT GetIdOfName(std::u16string_view name, DispId& id);
  // Runs member `id` as `kind`. May leave `result` empty. To raise an error,
  // fill `excep` and return DISP_E_EXCEPTION (see Raise).
  virtual HRESULT Invoke(DispId id, InvokeKind kind, CallArgs& args, Variant& result, ExcepInfo& excep) = 0;
  // For a component that is itself a platform dispatch interface laid out in
  // memory (or wraps one): that interface pointer, handed to platform objects
  // as it is. Null for the others, which a platform object reaches through
  // an adapter.
  virtual void* NativeInterface() const { return nullptr; }

 private:
  mutable std::atomic<std::uint32_t> refs_{0};
};

// Fills `excep` and returns DISP_E_EXCEPTION.
HRESULT Raise(ExcepInfo& excep, HRESULT code, std::u16string description, std::u16string source = {});

template <typename T, typename... Args>
Object MakeObject(Args&&... args) {
  auto component = std::make_unique<T>(std::forward<Args>(args)...);
  // The Object now holds the only reference; Release deletes the component.
  return Object(component.release());
}

}  // namespace rankora::automation
