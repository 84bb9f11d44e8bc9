#include "app/engine_run.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace rankora::app {

struct EngineRun::State {
  std::unique_ptr<batch::Run> run;
  Post post;
  // Read on the window thread only; Abandon empties them.
  Handlers handlers;
  std::atomic<bool> running{true};
  std::atomic<bool> abandoned{false};
  std::mutex mutex;
  std::condition_variable ended;
  bool executed = false;
};

std::shared_ptr<EngineRun> EngineRun::Start(batch::RunSettings settings, std::unique_ptr<lookup::Source> source,
                                            std::vector<std::string> domains, Post post, Handlers handlers,
                                            batch::Opening& opening) {
  auto state = std::make_shared<State>();
  state->run = source ? std::make_unique<batch::Run>(std::move(settings), std::move(source))
                      : std::make_unique<batch::Run>(settings);
  state->post = std::move(post);
  state->handlers = std::move(handlers);
  opening = state->run->Open(std::move(domains), [&state](const batch::Record& record) {
    if (state->handlers.record) state->handlers.record(record);
  });
  if (!opening.opened) {
    state->running = false;
    return std::shared_ptr<EngineRun>(new EngineRun(std::move(state)));
  }
  // The thread owns the run with the window: a window that goes first
  // leaves it to finish alone.
  std::thread([state] {
    // Progress, twice a second, until the run has ended.
    std::thread ticker([state] {
      std::unique_lock lock(state->mutex);
      while (!state->ended.wait_for(lock, std::chrono::milliseconds(500), [&state] { return state->executed; })) {
        const batch::Progress progress = state->run->Snapshot();
        state->post([state, progress] {
          if (!state->abandoned && state->handlers.progress) state->handlers.progress(progress);
        });
      }
    });
    batch::RunResult result = state->run->Execute([&state](const batch::Record& record) {
      state->post([state, record] {
        if (!state->abandoned && state->handlers.record) state->handlers.record(record);
      });
    });
    {
      const std::lock_guard lock(state->mutex);
      state->executed = true;
    }
    state->ended.notify_all();
    ticker.join();
    const batch::Progress last = state->run->Snapshot();
    state->post([state, result, last] {
      state->running = false;
      if (state->abandoned) return;
      if (state->handlers.progress) state->handlers.progress(last);
      if (state->handlers.ended) state->handlers.ended(result);
    });
    // Lookups still out when the grace ran out are waited for here, away
    // from the window; the journal already holds every finished one.
  }).detach();
  return std::shared_ptr<EngineRun>(new EngineRun(std::move(state)));
}

EngineRun::~EngineRun() { Abandon(); }

void EngineRun::Stop(std::chrono::milliseconds grace) { state_->run->Stop(grace); }

void EngineRun::Abandon() {
  if (state_->abandoned.exchange(true)) return;
  state_->run->Stop(std::chrono::milliseconds(0));
}

bool EngineRun::Running() const { return state_->running; }

}  // namespace rankora::app
