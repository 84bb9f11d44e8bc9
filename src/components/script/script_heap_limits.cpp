#include "components/script/script_heap_limits.h"

#include <duktape.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Duktape's executor asks every so many instructions (see
// duktape/duk_config_overrides.h), so this only compares a monotonic clock.
// It counts instructions across calls, so the first check of a call may come
// at its very start: a script is only stopped at a check that follows a full
// count of its own instructions, and a short script always gets to finish,
// even with a Timeout of 0.
extern "C" duk_bool_t rankora_script_timed_out(void* udata) {
  using rankora::components::script::HeapLimits;
  auto* limits = static_cast<HeapLimits*>(udata);
  if (limits == nullptr || !limits->timed) return 0;
  if (!limits->expired) {
    if (limits->firstCheck) {
      limits->firstCheck = false;
      return 0;
    }
    if (HeapLimits::Clock::now() < limits->deadline) return 0;
    limits->expired = true;
  }
  return 1;
}

extern "C" void rankora_script_compile_error_at(void* udata, duk_size_t offset, duk_int_t line) {
  auto* limits = static_cast<rankora::components::script::HeapLimits*>(udata);
  if (limits == nullptr) return;
  limits->compileOffset = offset;
  limits->compileLine = static_cast<int>(line);
}

extern "C" void rankora_script_finalizer_set(void* udata) {
  if (udata != nullptr) ++static_cast<rankora::components::script::HeapLimits*>(udata)->finalizers;
}

namespace rankora::components::script {

namespace {

// The most memory a control's code may hold (kHeapLimit, beyond what its
// heap held when the control began) is a thousand times what the program's
// scripts need for a page of the weight service. A script that
// wants more fails with an out-of-memory script error instead of taking the
// machine's memory.

// Each block starts with its size, so that the heap's total is known without
// asking the C library; what follows stays aligned as malloc's blocks are.
constexpr std::size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(std::size_t));

bool Take(HeapLimits& limits, std::size_t bytes) {
  // What the heap held before the control counts for nothing; blocks of it
  // the control frees make room for its own.
  const std::size_t budget = limits.base + kHeapLimit;
  if (limits.held > budget || bytes > budget - limits.held) {
    ++limits.refused;
    return false;
  }
  limits.held += bytes;
  return true;
}

std::size_t SizeOf(const unsigned char* block) {
  std::size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  return size;
}

}  // namespace

// A refused allocation is a null block: Duktape collects garbage, tries
// again and, when that fails too, throws a script error inside the protected
// call under way. Nothing here ends the process.
void* Allocate(void* udata, duk_size_t size) {
  auto& limits = *static_cast<HeapLimits*>(udata);
  if (!Take(limits, size)) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
  if (block == nullptr) {
    limits.held -= size;
    ++limits.refused;
    return nullptr;
  }
  std::memcpy(block, &size, sizeof size);
  return block + kHeader;
}

void Free(void* udata, void* data) {
  if (data == nullptr) return;
  unsigned char* block = static_cast<unsigned char*>(data) - kHeader;
  static_cast<HeapLimits*>(udata)->held -= SizeOf(block);
  std::free(block);
}

// As realloc: when it fails, the block stays as it was.
void* Reallocate(void* udata, void* data, duk_size_t size) {
  if (data == nullptr) return Allocate(udata, size);
  if (size == 0) {
    Free(udata, data);
    return nullptr;
  }
  auto& limits = *static_cast<HeapLimits*>(udata);
  unsigned char* block = static_cast<unsigned char*>(data) - kHeader;
  const std::size_t old = SizeOf(block);
  if (size > old && !Take(limits, size - old)) return nullptr;
  auto* moved = static_cast<unsigned char*>(std::realloc(block, kHeader + size));
  if (moved == nullptr) {
    if (size > old) limits.held -= size - old;
    ++limits.refused;
    return nullptr;
  }
  if (size < old) limits.held -= old - size;
  std::memcpy(moved, &size, sizeof size);
  return moved + kHeader;
}

void Fatal(void* /*udata*/, const char* message) {
  // Only reached by an error thrown outside every protected call, which the
  // code here never lets happen: every Duktape call that can throw runs
  // inside one, and running out of memory is such an error.
  std::fprintf(stderr, "script engine: fatal error: %s\n", message != nullptr ? message : "");
  std::abort();
}

}  // namespace rankora::components::script
