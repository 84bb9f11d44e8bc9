// The engine of a long run: a queue of domains asked for through a set of
// exits, each paced to a number of lookups a minute with a little jitter,
// with a limit on lookups in flight in all. A refusal cools its exit down
// (doubling from the first cool-down up to the longest) and puts the domain
// back for another exit, or, when so set, stops the run. Transient failures
// are retried with growing pauses, then recorded as failed; the run goes on.
// A Retry-After from the service is obeyed by the exit and the domain. A
// source may say its refusal reaches every exit (a shared key), or that the
// run cannot go on (a rejected key, an interface gone); see lookup::Reach.
// Through the direct connection alone, when so set, a service still out of
// reach after a domain's retries stops the run.
// Every finished domain is handed to the caller as it finishes. The rules
// are the schedule's (batch/schedule.h); the engine's threads read the
// clock, ask the schedule what is due, wait for it and carry it out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/record.h"
#include "batch/schedule.h"
#include "lookup/source.h"

namespace rankora::batch {

// Clock, EngineSettings, Ending, ExitState and Progress come with the schedule.

class Engine {
 public:
  // Called from worker threads, one call at a time, for each finished domain.
  using RecordHandler = std::function<void(const Record&)>;

  Engine(lookup::Source& source, std::vector<lookup::Exit> exits, EngineSettings settings);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  ~Engine();

  // Looks up every domain and returns how the run ended. Blocks the caller.
  Ending Run(const std::vector<std::string>& domains, const RecordHandler& onRecord);
  // Stops starting new lookups; Run returns once those in flight have ended
  // or `grace` has passed, whichever is first (their records are still
  // handed on if they end in time).
  void Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(5000));

  Progress Snapshot() const;
  std::vector<ExitState> Exits() const;
  // With an Ending that stopped the run on an answer (kStoppedByRefusal,
  // kStoppedBySource, kStoppedUnreachable): the reason (UTF-8) it gave, and
  // why it failed.
  std::string StopReason() const;
  lookup::Why StopWhy() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::vector<std::thread> workers_;
  std::chrono::milliseconds grace_{5000};
};

}  // namespace rankora::batch
