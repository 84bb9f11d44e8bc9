// The engine of a long run: a queue of domains asked for through a set of
// exits, each paced to a number of lookups a minute with a little jitter,
// with a limit on lookups in flight in all. A refusal cools its exit down
// (doubling from the first cool-down up to the longest) and puts the domain
// back for another exit, or, when so set, stops the run. Transient failures
// are retried with growing pauses, then recorded as failed; the run goes on.
// A Retry-After from the service is obeyed by the exit and the domain.
// Every finished domain is handed to the caller as it finishes.
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
#include "lookup/source.h"

namespace rankora::batch {

using Clock = std::chrono::steady_clock;

struct EngineSettings {
  double ratePerMinute = 12;                           // lookups a minute per exit; 0: unpaced
  double jitter = 0.1;                                 // each pause is the rate's interval times 1 +/- this
  int concurrency = 10;                                // lookups in flight in all
  std::chrono::milliseconds coolDown{15 * 60 * 1000};  // the first cool-down of a refusing exit
  std::chrono::milliseconds longestCoolDown{60 * 60 * 1000};
  bool stopOnRefusal = false;                  // stop the run at the first refusal instead of cooling
  int retries = 3;                             // further attempts after a transient failure
  std::chrono::milliseconds retryPause{2000};  // before the first retry; doubles each time
  // A domain refused this many times is recorded as refused (every exit
  // refusing the same domain is more likely the domain than the exits).
  int refusalsPerDomain = 0;  // 0: one more than the number of exits
};

enum class Ending {
  kCompleted,         // every domain finished
  kStoppedByRefusal,  // stopOnRefusal and the service refused
  kInterrupted,       // Stop() was called
};

struct ExitState {
  std::string name;
  bool cooling = false;
  Clock::time_point coolingUntil;
  long lookups = 0;
  long refusals = 0;
};

struct Progress : OutcomeCounts {
  long total = 0;
  long done = 0;  // finished: found + none + refused + failed
  long inFlight = 0;
  int exitsCooling = 0;
  int exits = 0;
  std::optional<Clock::time_point> nextExitBack;  // when every exit cools: the first back
  Clock::time_point started;
};

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

 private:
  struct State;
  std::shared_ptr<State> state_;
  std::vector<std::thread> workers_;
  std::chrono::milliseconds grace_{5000};
};

}  // namespace rankora::batch
