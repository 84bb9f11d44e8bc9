// Values crossing between C++ and a Duktape heap: the CESU-8 form of texts,
// values prepared for pushing, the outcome a protected call leaves on the
// stack, and the script wrappers of host objects and arrays. Every function
// here that takes a context runs inside a protected call; they may throw
// script errors. Stack indexes are Duktape's duk_idx_t (int), stash keys its
// duk_uarridx_t (unsigned int), results its duk_ret_t (int).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/component.h"
#include "automation/variant.h"

struct duk_hthread;

namespace rankora::components::script {

// Hidden keys (Duktape's hidden symbols) that script code cannot reach.
#define RANKORA_HIDDEN(name) "\xFF" name
inline constexpr const char* kHostKey = RANKORA_HIDDEN("rankoraHost");      // on a wrapper: its host
inline constexpr const char* kMemberHostKey = RANKORA_HIDDEN("rankoraOf");  // on a member function: its host
inline constexpr const char* kOpKey = RANKORA_HIDDEN("rankoraOp");
inline constexpr const char* kNameKey = RANKORA_HIDDEN("rankoraName");
inline constexpr const char* kArrayKey = RANKORA_HIDDEN("rankoraArray");  // on a wrapper: its array (a Variant*)
#undef RANKORA_HIDDEN

// Duktape keeps strings as CESU-8: each UTF-16 code unit on its own, so lone
// surrogates survive the trip.
std::string ToCesu8(std::u16string_view units);
std::u16string FromCesu8(const char* data, std::size_t length);

// A value on its way into script, prepared in full before any Duktape call
// so that pushing it needs no C++ object that would need destroying.
struct Encoded {
  enum class Kind : std::uint8_t { Undefined, Null, Number, Boolean, String, Date, Host, Stashed, Array };
  Kind kind = Kind::Undefined;
  double number = 0;  // a number, or a platform date
  bool boolean = false;
  std::string bytes;
  std::size_t host = 0;
  std::uint32_t stash = 0;
  // An array, until pushing it hands it to the script value that carries it.
  std::unique_ptr<automation::Variant> array;
};

bool IsObjectLike(duk_hthread* ctx, int index);

// The stash entry under `key`, pushed; and a protected call's body that
// drops the entry under *udata (a stash key).
void PushFromStash(duk_hthread* ctx, unsigned key);
int DropFromStash(duk_hthread* ctx, void* udata);

// Every protected call that runs script leaves an outcome of this many
// values: [true, value, form, the value itself, -, -] or, when it failed,
// [false, name, message, line, number, chunk] (see ErrorOutcome).
inline constexpr int kOutcome = 6;

// Turns the value thrown, at the top, into a failed outcome (see the .cpp).
int ErrorOutcome(duk_hthread* ctx);
// A failed outcome for JScript error `number`, of no script value.
int JScriptErrorOutcome(duk_hthread* ctx, int number);
// Turns the value at the top into a successful outcome; an object other than
// our own kinds is kept in the stash under `key` (when not 0).
int ValueOutcome(duk_hthread* ctx, unsigned key);
// ValueOutcome or ErrorOutcome, by a call's status.
int Outcome(duk_hthread* ctx, int status, unsigned key);

// How a value out of script stands on the stack.
enum class Form : int {
  Plain = 0,    // the value itself
  Stashed = 1,  // an object kept in the stash: its key
  Host = 2,     // one of our wrappers: its host's index
  Date = 3,     // a Date from a platform date: the platform date now
  Array = 4,    // the wrapper of an array from outside: the array (a Variant*)
};

// For a protected call from C++: the value at `index`, as it stands outside:
// [payload form].
struct ClassifyData {
  int index;
  unsigned key;
};
int ClassifyValue(duk_hthread* ctx, void* udata);

// What a wrapper's function does with its host: call a method, read a
// property that takes arguments, or serve as a property's getter or setter
// (Duktape passes these the property's key after the value).
enum class HostOp : int { Call = 0, Read = 1, Get = 2, Set = 3 };

// Runs a host member for script (see script_calls.cpp).
int HostTrampoline(duk_hthread* ctx);

// Defines the members of a component on the object at `target`: properties
// as accessors, methods (and properties that take arguments) as functions.
void DefineMembers(duk_hthread* ctx, int target, std::size_t host, const automation::TypeInfo* info);

struct PushContext {
  const std::vector<automation::Object>* hosts;
};

// Pushes `value`; an array goes to the wrapper that carries it, which frees
// it when Duktape is done with it.
void Push(duk_hthread* ctx, Encoded& value, const PushContext& context);

}  // namespace rankora::components::script
