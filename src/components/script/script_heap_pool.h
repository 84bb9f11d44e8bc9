// The Duktape heaps that script controls use one after another. Making a
// heap and its built-ins is most of what a short-lived control costs, so a
// heap whose control has ended waits for the next one, on any thread, when
// the control left its global environment as it was made: nothing but the
// globals and stashed values it added, which go. A heap whose built-ins
// were changed in any way (a property added, replaced, removed or
// reconfigured, a prototype or an object's extensibility changed) ends with
// its control, as before. A heap serves one control at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "components/script/script_heap_limits.h"

struct duk_hthread;

namespace rankora::components::script {

struct PooledHeap {
  PooledHeap() = default;
  PooledHeap(const PooledHeap&) = delete;
  PooledHeap& operator=(const PooledHeap&) = delete;
  // Ends the heap, its finalizers running within the limits of the entry
  // under way, if any.
  ~PooledHeap();

  std::unique_ptr<HeapLimits> limits;  // Duktape's user data: outlives ctx
  duk_hthread* ctx = nullptr;
  std::vector<std::string> builtins;  // global function names before any code
  bool listed = false;                // builtins has them
  std::vector<unsigned char> image;   // the built-ins as made (see rankora_environment.c)
  std::vector<void*> objects;         // the objects the image shows, in its order
  std::uint64_t finalizers = 0;       // finalizers set before the control under way
  std::size_t globalEntries = 0;      // the global object's properties as made
  std::size_t stashEntries = 0;       // the heap stash's, with the date functions in it
  std::size_t held = 0;               // memory held as made
};

// A heap with a global environment as made, for `owner`'s control, with the
// default Timeout; null when Duktape cannot make one.
std::unique_ptr<PooledHeap> TakeHeap(ScriptHeap* owner);

// Takes back the heap of a control that has ended, inside an Entry of its
// limits: what the control added goes (its finalizers run now) and the heap
// waits for the next control, or ends when its built-ins are no longer as
// made.
void GiveBack(std::unique_ptr<PooledHeap> heap);

}  // namespace rankora::components::script
