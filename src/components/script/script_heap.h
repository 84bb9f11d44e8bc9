// One control's script heap, with the program's rules for values crossing
// between script and automation: a global environment of its own in a
// Duktape heap that serves one control at a time (script_heap_pool.h). Only
// protected calls run script code; a C++ exception never crosses into
// Duktape, and a Duktape error never unwinds a C++ frame. The control's code
// holds at most 64 MiB: a script that wants more fails with JScript's
// out-of-memory error (0x800A0007).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/component.h"
#include "automation/variant.h"

struct duk_hthread;

namespace rankora::components::script {

// The control's Timeout: how long a call into script may run, in
// milliseconds, at first and when set to no limit.
inline constexpr std::int32_t kDefaultTimeout = 10000;
inline constexpr std::int32_t kNoTimeout = -1;

// A script error as the control's Error object reports it.
struct ScriptError {
  automation::HRESULT number = 0;
  std::u16string source;
  std::u16string description;
  std::u16string text;
  int line = 0;
  int column = 0;
  // Run found no procedure of that name: no script error, nothing to report.
  bool unknownName = false;
};

struct ProcedureInfo {
  std::u16string name;
  int argumentCount = 0;
};

// How far the heap may go (see the .cpp).
struct HeapLimits;
// The Duktape heap a control uses (see script_heap_pool.h).
struct PooledHeap;

class ScriptHeap : public std::enable_shared_from_this<ScriptHeap> {
 public:
  // Null when Duktape cannot make a heap.
  static std::shared_ptr<ScriptHeap> Make();
  ScriptHeap(const ScriptHeap&) = delete;
  ScriptHeap& operator=(const ScriptHeap&) = delete;
  ~ScriptHeap();

  // Global code: functions it declares become procedures.
  bool Execute(std::u16string_view code, ScriptError& error);
  // An expression (or statements) evaluated in global scope; its value.
  bool Evaluate(std::u16string_view expression, automation::Variant& result, ScriptError& error);
  // The global procedure `name` called with `args`.
  bool Call(std::u16string_view name, std::span<const automation::Variant> args, automation::Variant& result,
            ScriptError& error);
  // Makes `object` a global named `name`, its members reachable by name;
  // with `addMembers` its members are globals too.
  bool DefineObject(std::u16string_view name, const automation::Object& object, bool addMembers, ScriptError& error);
  // How long each call into the heap may run, in milliseconds (kNoTimeout:
  // no limit). A call past it fails with the platform's time-out error; the
  // calls that script makes back into the heap count toward the call that
  // started them.
  void SetTimeout(std::int32_t milliseconds);
  // Functions defined by the code run so far, in the order defined.
  std::vector<ProcedureInfo> Procedures();
  // The global object, as an object that answers by name.
  automation::Object GlobalObject();

  // What a script object does when called by name (see the .cpp).
  class Access;

 private:
  struct Chunk;

  ScriptHeap();
  friend class Access;

  // Compiles and runs `code` (an expression when `expression`), the heap's
  // next chunk of code.
  bool Run(std::u16string_view code, bool expression, automation::Variant* result, ScriptError& error);

  std::unique_ptr<PooledHeap> pooled_;           // the Duktape heap, this control's until it ends
  HeapLimits* limits_ = nullptr;                 // the heap's
  duk_hthread* ctx_ = nullptr;                   // the heap's
  std::vector<automation::Object> hostObjects_;  // kept alive for the script's wrappers
  std::uint32_t nextStashKey_ = 1;
  int nextChunk_ = 1;
  std::map<int, std::u16string> sources_;  // the chunks that may define functions
};

}  // namespace rankora::components::script
