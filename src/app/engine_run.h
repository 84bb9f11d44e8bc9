// One of the window's long runs: batch::Run on a thread of its own, its
// records and its end handed to the window thread, and its progress there
// twice a second. The window thread never waits for the network: stopping
// returns at once, and a run whose window has gone finishes on its own,
// touching nothing of the window's.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "batch/run.h"

namespace rankora::app {

class EngineRun {
 public:
  using Post = std::function<void(std::function<void()>)>;
  struct Handlers {
    // Each on the window thread.
    std::function<void(const batch::Record&)> record;
    std::function<void(const batch::Progress&)> progress;
    std::function<void(const batch::RunResult&)> ended;
  };

  // Opens the run's output (its journal); each done record it already holds
  // goes to `handlers.record` at once, on this thread. When it opened, the
  // run starts; `opening` says how the opening went either way. `source`
  // stands in for the one the settings name (tests).
  static std::shared_ptr<EngineRun> Start(batch::RunSettings settings, std::unique_ptr<lookup::Source> source,
                                          std::vector<std::string> domains, Post post, Handlers handlers,
                                          batch::Opening& opening);

  EngineRun(const EngineRun&) = delete;
  EngineRun& operator=(const EngineRun&) = delete;
  ~EngineRun();

  // From the window thread: no new lookups; the run ends once those in
  // flight have ended or `grace` has passed.
  void Stop(std::chrono::milliseconds grace);
  // Nothing more reaches the window: its handlers are let go.
  void Abandon();
  // True until `ended` has been handed over.
  bool Running() const;

 private:
  struct State;
  explicit EngineRun(std::shared_ptr<State> state) : state_(std::move(state)) {}
  std::shared_ptr<State> state_;
};

}  // namespace rankora::app
