// The rules of a long run, apart from the threads that carry them out: which
// domains to ask for next, through which exit and when; what an answer means
// for its domain and its exit. Every decision is given the moment it is taken
// (`now`); the schedule never reads a clock and never waits, so a caller may
// move time by hand.
//
// The rules: each exit is paced to a number of lookups a minute, its starts
// given slots on a grid, each interval drawn with a little jitter, and never
// two starts through one exit closer than the interval less the jitter. At
// most so many lookups are in flight in all, each asking for as many domains
// as the source takes at once. A refusal cools its exit down, from the first
// cool-down doubling up to the longest until the exit answers again (a
// Retry-After is taken at its word on the first refusal), and puts the domain
// back for another exit, or, when so set, stops the run. No wait the service
// asks for is longer than the longest cool-down. A domain refused by
// exits that had just answered others, one more time than there are exits,
// or four times that often in all, is recorded as refused. Transient failures
// are retried after doubling pauses, at least as long as the service asks,
// then recorded as failed.
//
// A refusal whose limit is the source's (Reach::kSource: the paid
// interface's key, shared by every exit) cools every exit alike, by the same
// rule and on its own count: the first cool-down doubling up to the longest
// until any exit answers again, a Retry-After taken at its word the first
// time. Refusals of calls that were in flight when it began add nothing to
// it. Changing exits cannot help there, so it never stops the run. A failure
// that reaches the run (Reach::kRun: a key the service rejects, an interface
// that is gone) stops it at once, its domain recorded as failed without a
// retry. Through the direct connection alone, when so set, a domain that
// still finds the service out of reach after its retries stops the run: the
// domains after it would find the same.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <random>
#include <string>
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
  bool stopOnRefusal = false;  // stop the run at the first refusal instead of cooling
  // Stop the run when a domain's retries end with the service out of reach
  // (lookup::Unreachable), rather than go on to the next domain.
  bool stopWhenUnreachable = false;
  int retries = 3;                             // further attempts after a transient failure
  std::chrono::milliseconds retryPause{2000};  // before the first retry; doubles each time
  // A domain refused this many times is recorded as refused (every exit
  // refusing the same domain is more likely the domain than the exits).
  int refusalsPerDomain = 0;  // 0: one more than the number of exits
};

enum class Ending {
  kCompleted,           // every domain finished
  kStoppedByRefusal,    // stopOnRefusal and the service refused
  kInterrupted,         // Stop() was called
  kStoppedBySource,     // the source cannot go on, such as a key the service rejects or an interface gone
  kStoppedUnreachable,  // stopWhenUnreachable and the service could not be reached
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

class Schedule {
 public:
  // One domain waiting for its lookup or in flight, with what has happened
  // to it so far. Kept small: a run of a million domains holds a million.
  struct Task {
    std::uint32_t index = 0;    // of its domain in the run's list
    std::int16_t attempts = 0;  // requests made
    std::int16_t failures = 0;  // transient failures
    std::int16_t refusals = 0;
    std::int16_t blamed = 0;     // refusals by an exit that was answering others
    std::int16_t lastExit = -1;  // the exit of its last attempt
    Clock::time_point notBefore;
  };

  // What the caller is to do next.
  struct Step {
    enum class Kind {
      kStart,     // ask for `tasks` through `exit` now
      kWait,      // ask again at `until`, or, without it, once a lookup has ended
      kFinished,  // start nothing more: the run is done or stopping
    };
    Kind kind = Kind::kFinished;
    std::size_t exit = 0;
    std::vector<Task> tasks;
    std::optional<Clock::time_point> until;
  };

  // What becomes of one domain of a lookup once its answer is in.
  struct Verdict {
    enum class Kind {
      kRecord,   // finished: hand its record on, with the answer's outcome
      kRetry,    // queued again, due at `at`
      kRequeue,  // refused: queued again at the front, for another exit
      kStop,     // finished, and the run stops with it (a refusal, a failure that
                 // reaches the run, an unreachable service): hand its record on
    };
    Kind kind = Kind::kRecord;
    Clock::time_point at;
  };

  // `exits` are the exits' names (at least one); `batchSize` how many
  // domains one lookup may ask for; `seed` draws the jitter.
  Schedule(std::vector<std::string> exits, std::size_t batchSize, EngineSettings settings, std::uint32_t seed);

  // Queues the run's domains 0 .. count-1, all due at `now`, when the run starts.
  void Begin(std::size_t count, Clock::time_point now);

  // The next thing to do at `now`. A kStart counts as in flight until Ended().
  Step Next(Clock::time_point now);
  // Settles one task of a started lookup by the outcome of its answer, how
  // far that reaches and why it failed.
  Verdict OnAnswer(Task task, lookup::Outcome outcome, std::optional<std::chrono::seconds> retryAfter,
                   Clock::time_point now, lookup::Reach reach = lookup::Reach::kExit,
                   lookup::Why why = lookup::Why::kOther);
  // A started lookup has been settled and its records handed on.
  void Ended();

  // Starts nothing more: the run was interrupted.
  void Stop();
  bool Stopping() const { return stopping_; }
  Ending HowEnded() const { return stopping_ ? ending_ : Ending::kCompleted; }
  // Every domain finished and no lookup in flight.
  bool Finished() const { return queue_.empty() && inFlight_ == 0; }
  long InFlight() const { return inFlight_; }

  Progress Snapshot(Clock::time_point now) const;
  std::vector<ExitState> Exits(Clock::time_point now) const;

 private:
  struct ExitSlot {
    std::string name;
    Clock::time_point nextSlot;  // the earliest start of its next lookup, on its grid
    Clock::time_point coolingUntil;
    std::uint64_t turn = 0;  // when it last started, counted in starts
    int strikes = 0;         // refusals since its last answer
    bool answeredSinceCooling = false;
    long lookups = 0;
    long refusals = 0;
  };

  Clock::duration NominalInterval() const;
  Clock::duration Interval();
  Clock::duration ShortestGap() const;
  std::chrono::milliseconds CoolDown(int strikes, const std::optional<std::chrono::seconds>& retryAfter) const;
  std::chrono::milliseconds Asked(std::chrono::seconds retryAfter) const;
  Clock::time_point FreeAt(const ExitSlot& slot) const;
  Clock::time_point CoolingUntil(const ExitSlot& slot) const;
  std::vector<Task> TakeReady(Clock::time_point now);
  Clock::time_point FirstReady(Clock::time_point now) const;
  Verdict Finish(lookup::Outcome outcome);
  Verdict RefusedBySource(Task task, ExitSlot& slot, std::optional<std::chrono::seconds> retryAfter,
                          Clock::time_point now);

  EngineSettings settings_;
  std::size_t batchSize_;
  std::vector<ExitSlot> exits_;
  std::deque<Task> queue_;
  std::mt19937 random_;
  long inFlight_ = 0;
  std::uint64_t starts_ = 0;
  bool stopping_ = false;
  Ending ending_ = Ending::kCompleted;
  // The source-wide cool-down: until when, and refusals since the last answer.
  Clock::time_point sourceCoolingUntil_;
  Clock::time_point sourceStruckAt_;
  int sourceStrikes_ = 0;
  Progress progress_;
};

}  // namespace rankora::batch
