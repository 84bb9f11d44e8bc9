// Where a script heap stands against its limits (memory held, the deadline
// of the call under way) and the allocator that keeps it within them.
// Duktape hands HeapLimits, as the heap's user data, to the allocator and to
// its executor's interrupt check.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "components/script/script_heap.h"

namespace rankora::components::script {

// Where the heap stands against its limits. Duktape hands it, as the heap's
// user data, to its allocator and to its executor's interrupt check.
struct HeapLimits {
  using Clock = std::chrono::steady_clock;

  std::size_t held = 0;          // bytes of the blocks the heap holds
  std::size_t base = 0;          // what it held when the control using it began
  std::size_t refused = 0;       // allocations refused in this entry
  ScriptHeap* owner = nullptr;   // the control's heap using it now
  std::uint64_t finalizers = 0;  // finalizers set so far
  std::int32_t timeout = kDefaultTimeout;
  int depth = 0;            // entries into Duktape under way
  bool timed = false;       // a deadline applies to the outermost entry
  bool firstCheck = false;  // no check has come yet in this entry
  bool expired = false;     // the deadline has passed: every check says so until the entry ends
  Clock::time_point deadline;
  // Where the compiler stopped at its last error: the token's byte offset
  // in the code and its line.
  std::size_t compileOffset = 0;
  int compileLine = 0;
  // Where the last value thrown in this entry was thrown: a line of a chunk
  // of code (0 when not known).
  int thrownLine = 0;
  int thrownChunk = 0;
};

// A control's code may hold at most 64 MiB beyond what the heap held when
// the control began (its built-ins, some 200 KiB).
inline constexpr std::size_t kHeapLimit = std::size_t{64} << 20;

// Duktape's memory functions over HeapLimits (the user data). A refused
// allocation is a null block; nothing here ends the process, except Fatal,
// which only an error thrown outside every protected call reaches.
void* Allocate(void* udata, std::size_t size);
void* Reallocate(void* udata, void* data, std::size_t size);
void Free(void* udata, void* data);
[[noreturn]] void Fatal(void* udata, const char* message);

// One entry into Duktape. The outermost one starts the clock; entries made
// while it runs (script calling a host that calls script) keep its deadline.
class Entry {
 public:
  explicit Entry(HeapLimits& limits) : limits_(limits) {
    if (limits_.depth++ != 0) return;
    limits_.refused = 0;
    limits_.expired = false;
    limits_.firstCheck = true;
    limits_.thrownLine = limits_.thrownChunk = 0;
    limits_.timed = limits_.timeout != kNoTimeout;
    if (limits_.timed) limits_.deadline = HeapLimits::Clock::now() + std::chrono::milliseconds(limits_.timeout);
  }
  ~Entry() {
    if (--limits_.depth == 0) limits_.timed = limits_.expired = false;
  }
  Entry(const Entry&) = delete;
  Entry& operator=(const Entry&) = delete;

 private:
  HeapLimits& limits_;
};

}  // namespace rankora::components::script
