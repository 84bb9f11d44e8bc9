// The one road from any wrapper to its component: creation by name, and the
// by-name reads, writes and calls with their argument and result
// conversions. No operation throws or reports: a failure gives the empty
// value of the result kind and leaves its code in this thread's LastCall().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/component.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace rankora::automation {

// An argument that is not given: dropped at the end of a list, passed as
// "parameter not found" in the middle.
struct NotGiven {};
inline constexpr NotGiven kNotGiven{};

// A date-time value (days since 30 December 1899).
struct DateTime {
  double value = 0;
};

// One argument by its value kind. Texts are GBK.
class Arg {
 public:
  Arg(NotGiven /*unused*/) {}
  Arg(const char* text) : value_(std::string(text)) {}
  Arg(std::string text) : value_(std::move(text)) {}
  Arg(std::string_view text) : value_(std::string(text)) {}
  Arg(double value) : value_(value) {}
  Arg(float value) : value_(value) {}
  Arg(std::int32_t value) : value_(value) {}
  Arg(std::int64_t value) : value_(value) {}
  Arg(std::int16_t value) : value_(value) {}
  Arg(std::uint8_t value) : value_(value) {}
  Arg(bool value) : value_(value) {}
  Arg(DateTime value) : value_(value) {}
  Arg(std::vector<std::uint8_t> bytes) : value_(std::move(bytes)) {}
  Arg(Object object) : value_(std::move(object)) {}
  Arg(Variant variant) : value_(std::move(variant)) {}
  // Refers to `variant` without copying it; it must outlive the call.
  static Arg Ref(const Variant& variant) {
    Arg arg(kNotGiven);
    arg.value_ = &variant;
    return arg;
  }

  bool IsGiven() const { return !std::holds_alternative<NotGiven>(value_); }
  // The value as a call passes it, or DISP_E_BADVARTYPE for a kind that
  // cannot be passed (a byte array).
  HRESULT ToVariant(Variant& out) const;

 private:
  std::variant<NotGiven, std::string, double, float, std::int32_t, std::int64_t, std::int16_t, std::uint8_t, bool,
               DateTime, std::vector<std::uint8_t>, Object, Variant, const Variant*>
      value_;
};

// A list of arguments, from a braced list or a span.
class ArgList {
 public:
  ArgList() = default;
  ArgList(std::initializer_list<Arg> args) : args_(args.begin(), args.size()) {}
  ArgList(std::span<const Arg> args) : args_(args) {}
  std::span<const Arg> Span() const { return args_; }

 private:
  std::span<const Arg> args_;
};

// What the last operation of this thread left: its code (negative on
// failure) and, when a component raised an error, that error.
struct CallState {
  HRESULT code = S_OK;
  ExcepInfo excep;
};
const CallState& LastCall();

// Sets this thread's LastCall() to `code` alone, for the layer's readings of
// kept variants.
void RecordLastCall(HRESULT code);

// Makes `object` a new instance of the class named by a ProgID, or by a CLSID
// string when `name` begins with "{": the platform's own class where it has
// one, else an in-house component of the registry. On failure `object` keeps
// what it held. In-house classes have no type libraries, so naming one for a
// ProgID the platform does not know fails (TYPE_E_CANTLOADLIBRARY).
bool Create(Object& object, std::string_view name, const std::string* typeLibraryFile = nullptr);

// Who answers to a ProgID on this system, as Create would ask: the
// platform's class, the in-house component, or nobody (with the code Create
// would fail with in `code`). Makes one instance to know; the thread's
// apartment is the caller's.
enum class Provider : std::uint8_t { kPlatform, kInHouse, kNone };
Provider WhoProvides(std::string_view progId, HRESULT* code = nullptr);

// Reads bind under property get, then method.
std::string ReadTextProperty(const Object& object, std::string_view name, ArgList args = {});
double ReadNumberProperty(const Object& object, std::string_view name, ArgList args = {});
bool ReadBoolProperty(const Object& object, std::string_view name, ArgList args = {});
Object ReadObjectProperty(const Object& object, std::string_view name, ArgList args = {});
Variant ReadProperty(const Object& object, std::string_view name, ArgList args = {});

// Calls bind under method, property get, property put, property put by
// reference.
void CallMethod(const Object& object, std::string_view name, ArgList args = {});
Variant CallVariantMethod(const Object& object, std::string_view name, ArgList args = {});
std::string CallTextMethod(const Object& object, std::string_view name, ArgList args = {});
double CallNumberMethod(const Object& object, std::string_view name, ArgList args = {});
bool CallBoolMethod(const Object& object, std::string_view name, ArgList args = {});
Object CallObjectMethod(const Object& object, std::string_view name, ArgList args = {});

// Binds under property put, property put by reference, method; the last
// argument is the value. True when the write succeeded.
bool WriteProperty(const Object& object, std::string_view name, ArgList args);

}  // namespace rankora::automation
