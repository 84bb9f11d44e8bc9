// The inside of a ScriptHeap as its protected calls and script objects
// reach it. Stack indexes and call statuses are Duktape's (int).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "automation/component.h"
#include "automation/variant.h"
#include "components/script/script_heap.h"
#include "components/script/script_values.h"

namespace rankora::components::script {

using automation::InvokeKind;
using automation::Object;
using automation::Variant;

// The code a call compiles, for placing its errors.
struct ScriptHeap::Chunk {
  std::u16string_view text;
  int number = 0;
  bool compileFailed = false;
};

// The operations that cross between C++ and Duktape, with the outcome of a
// protected call read back by getters that never throw.
class ScriptHeap::Access {
 public:
  static ScriptHeap* FromContext(duk_hthread* ctx);

  static std::uint32_t ReserveKey(ScriptHeap& heap) { return heap.nextStashKey_++; }

  static Encoded Encode(ScriptHeap& heap, const Variant& value);

  // The value at `index`: objects are kept in the stash and cross as objects
  // that answer by name. False when the heap has no memory left to keep one.
  static bool ValueAt(ScriptHeap& heap, int index, Variant& value);

  // The value of an outcome: its payload at `index`, standing as `form`.
  static bool PayloadAt(ScriptHeap& heap, int index, int form, Variant& value);

  // Reads the outcome values that a protected call left and pops them.
  static bool ReadOutcome(ScriptHeap& heap, int status, Variant* result, ScriptError& error,
                          const Chunk* chunk = nullptr);

  static bool AccessObject(ScriptHeap& heap, std::uint32_t target, std::u16string_view name, bool byValue,
                           InvokeKind kind, std::vector<Encoded>& args, Variant& result, ScriptError& error);

  // Whether the object kept under `target` has a property `name`, its own
  // or inherited.
  static bool HasMember(ScriptHeap& heap, std::uint32_t target, std::u16string_view name);

  static Object Host(ScriptHeap& heap, std::size_t index) {
    return index < heap.hostObjects_.size() ? heap.hostObjects_[index] : Object();
  }

  static PushContext Context(ScriptHeap& heap) { return PushContext{&heap.hostObjects_}; }

  // Without memory to spare, the entry stays until the heap ends.
  static void Unstash(ScriptHeap& heap, std::uint32_t key);

 private:
  static ScriptError FailedScript(ScriptHeap& heap, int base, const Chunk* chunk);
};

}  // namespace rankora::components::script
