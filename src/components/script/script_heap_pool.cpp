#include "components/script/script_heap_pool.h"

#include <duktape.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "components/script/script_calls.h"

namespace rankora::components::script {

namespace {

// Idle heaps kept: enough for the threads that run controls side by side.
std::size_t MostIdle() { return std::max<std::size_t>(4, std::size_t{2} * std::thread::hardware_concurrency()); }

// Garbage a control leaves beyond this is collected before the next one
// comes, so that a heap does not carry it; less waits for Duktape's own
// collections.
constexpr std::size_t kCollectAbove = std::size_t{1} << 20;

struct Pool {
  std::mutex mutex;
  std::vector<std::unique_ptr<PooledHeap>> idle;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

struct Entries {
  std::size_t global = 0;
  std::size_t stash = 0;
};

duk_ret_t CountEntries(duk_context* ctx, void* udata) {
  auto* entries = static_cast<Entries*>(udata);
  duk_push_global_object(ctx);
  entries->global = rankora_script_entry_count(ctx, -1);
  duk_push_heap_stash(ctx);
  entries->stash = rankora_script_entry_count(ctx, -1);
  return 0;
}

duk_ret_t TrimEntries(duk_context* ctx, void* udata) {
  const auto* entries = static_cast<const Entries*>(udata);
  duk_push_global_object(ctx);
  rankora_script_trim_entries(ctx, -1, entries->global);
  duk_push_heap_stash(ctx);
  rankora_script_trim_entries(ctx, -1, entries->stash);
  return 0;
}

bool Run(duk_context* ctx, duk_safe_call_function call, void* udata) {
  const bool done = duk_safe_call(ctx, call, udata, 0, 1) == DUK_EXEC_SUCCESS;
  duk_pop(ctx);
  return done;
}

std::unique_ptr<PooledHeap> MakeHeap() {
  auto heap = std::make_unique<PooledHeap>();
  heap->limits = std::make_unique<HeapLimits>();
  heap->ctx = duk_create_heap(Allocate, Reallocate, Free, heap->limits.get(), Fatal);
  if (heap->ctx == nullptr) return nullptr;
  const Entry entry(*heap->limits);
  Entries entries;
  if (!Run(heap->ctx, StartHeap, nullptr) || !Run(heap->ctx, CountEntries, &entries)) return nullptr;
  heap->globalEntries = entries.global;
  heap->stashEntries = entries.stash;
  for (;;) {
    heap->image.resize(heap->image.capacity());
    heap->objects.resize(heap->objects.capacity());
    std::size_t count = 0;
    const std::size_t size = rankora_script_environment_image(heap->ctx, heap->image.data(), heap->image.size(),
                                                              heap->objects.data(), heap->objects.size(), &count);
    if (size == 0) return nullptr;
    const bool fits = size <= heap->image.size() && count <= heap->objects.size();
    heap->image.resize(size);
    heap->objects.resize(count);
    if (fits) break;
  }
  heap->held = heap->limits->held;
  heap->finalizers = heap->limits->finalizers;
  return heap;
}

// Takes out what the control added; true when the heap is as made again.
bool Reset(PooledHeap& heap) {
  duk_context* ctx = heap.ctx;
  if (duk_get_top(ctx) != 0) return false;
  Entries entries{heap.globalEntries, heap.stashEntries};
  if (!Run(ctx, TrimEntries, &entries)) return false;
  // Reference counting has freed what the control made, but for cycles. When
  // an object got a finalizer, a collection runs the finalizers of the
  // control's objects now, within its limits, rather than in the next
  // control; the second one frees what they leave.
  if (heap.limits->finalizers != heap.finalizers || heap.limits->held > heap.held + kCollectAbove) {
    duk_gc(ctx, 0);
    duk_gc(ctx, 0);
    heap.finalizers = heap.limits->finalizers;
  }
  return !heap.limits->expired && duk_get_top(ctx) == 0 &&
         rankora_script_environment_matches(ctx, heap.image.data(), heap.image.size(), heap.objects.data(),
                                            heap.objects.size()) != 0;
}

}  // namespace

PooledHeap::~PooledHeap() {
  if (ctx != nullptr) duk_destroy_heap(ctx);
}

std::unique_ptr<PooledHeap> TakeHeap(ScriptHeap* owner) {
  std::unique_ptr<PooledHeap> heap;
  {
    Pool& pool = ThePool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    if (!pool.idle.empty()) {
      heap = std::move(pool.idle.back());
      pool.idle.pop_back();
    }
  }
  if (heap == nullptr) heap = MakeHeap();
  if (heap == nullptr) return nullptr;
  HeapLimits& limits = *heap->limits;
  limits.owner = owner;
  limits.timeout = kDefaultTimeout;
  limits.base = limits.held;
  return heap;
}

void GiveBack(std::unique_ptr<PooledHeap> heap) {
  if (heap == nullptr || heap->ctx == nullptr) return;
  {
    const Entry entry(*heap->limits);
    if (!Reset(*heap)) {
      // Finalizers run now, within the same time limit.
      duk_destroy_heap(heap->ctx);
      heap->ctx = nullptr;
    }
  }
  if (heap->ctx == nullptr) return;
  heap->limits->owner = nullptr;
  Pool& pool = ThePool();
  const std::lock_guard<std::mutex> lock(pool.mutex);
  if (pool.idle.size() < MostIdle()) pool.idle.push_back(std::move(heap));
}

}  // namespace rankora::components::script
