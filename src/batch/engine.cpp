#include "batch/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <deque>
#include <memory>
#include <random>
#include <thread>

namespace rankora::batch {
namespace {

// One domain waiting for its lookup, with what has happened to it so far.
// Kept small: a run of a million domains holds a million of them.
struct Task {
  std::uint32_t index = 0;    // of its domain in the run's list
  std::int16_t attempts = 0;  // requests made
  std::int16_t failures = 0;  // transient failures
  std::int16_t refusals = 0;
  std::int16_t blamed = 0;     // refusals by an exit that was answering others
  std::int16_t lastExit = -1;  // the exit of its last attempt
  Clock::time_point notBefore;
};

struct ExitSlot {
  lookup::Exit exit;
  Clock::time_point nextSlot;  // the earliest start of its next lookup
  Clock::time_point coolingUntil;
  Clock::time_point lastStart;  // when its last lookup really started
  int strikes = 0;              // refusals since its last answer
  bool answeredSinceCooling = false;
  long lookups = 0;
  long refusals = 0;
};

std::string LocalTimeNow() {
  // std::localtime shares one buffer; the caller holds the record lock.
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local);
  return text;
}

}  // namespace

struct Engine::State {
  State(lookup::Source& source, std::vector<lookup::Exit> exitList, EngineSettings engineSettings)
      : source(source), settings(engineSettings) {
    for (lookup::Exit& exit : exitList) {
      ExitSlot slot;
      slot.exit = std::move(exit);
      exits.push_back(std::move(slot));
    }
    if (exits.empty()) exits.push_back(ExitSlot{});
    if (settings.concurrency < 1) settings.concurrency = 1;
    if (settings.refusalsPerDomain <= 0) settings.refusalsPerDomain = static_cast<int>(exits.size()) + 1;
    batchSize = std::max<std::size_t>(1, source.BatchSize());
  }

  lookup::Source& source;
  EngineSettings settings;
  std::size_t batchSize;

  mutable std::mutex mutex;
  std::condition_variable changed;
  std::deque<Task> queue;
  std::vector<ExitSlot> exits;
  Progress progress;
  bool stopping = false;
  bool closed = false;  // Run has returned: late results are dropped
  Ending ending = Ending::kCompleted;
  std::mt19937 random{std::random_device{}()};

  const std::vector<std::string>* domains = nullptr;
  std::mutex recordMutex;
  const RecordHandler* onRecord = nullptr;

  Clock::duration Interval() {
    if (settings.ratePerMinute <= 0) return Clock::duration::zero();
    const double seconds = 60.0 / settings.ratePerMinute;
    std::uniform_real_distribution<double> spread(-settings.jitter, settings.jitter);
    const double factor = settings.jitter > 0 ? 1.0 + spread(random) : 1.0;
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds * factor));
  }

  // The exit that can start a lookup soonest, or none while all are cooling.
  ExitSlot* FreeExit(Clock::time_point now) {
    ExitSlot* best = nullptr;
    for (ExitSlot& slot : exits) {
      if (slot.coolingUntil > now) continue;
      if (best == nullptr || slot.nextSlot < best->nextSlot) best = &slot;
    }
    return best;
  }

  void CountCooling(Clock::time_point now) {
    int cooling = 0;
    std::optional<Clock::time_point> first;
    for (const ExitSlot& slot : exits) {
      if (slot.coolingUntil <= now) continue;
      ++cooling;
      if (!first || slot.coolingUntil < *first) first = slot.coolingUntil;
    }
    progress.exitsCooling = cooling;
    progress.nextExitBack = cooling == static_cast<int>(exits.size()) ? first : std::nullopt;
  }

  // Up to a call's worth of tasks that may start now, from the front.
  std::vector<Task> TakeReady(Clock::time_point now) {
    std::vector<Task> taken;
    for (auto it = queue.begin(); it != queue.end() && taken.size() < batchSize;) {
      if (it->notBefore <= now) {
        taken.push_back(*it);
        it = queue.erase(it);
      } else {
        ++it;
      }
    }
    return taken;
  }

  // How long an exit cools after its `strikes`-th refusal in a row: the
  // first cool-down, doubling up to the longest. The service's own word on
  // when to come back is taken at its first refusal; when it refuses again
  // after that, the doubling guess counts too.
  std::chrono::milliseconds CoolDown(int strikes, const std::optional<std::chrono::seconds>& retryAfter) const {
    auto escalated = [this](int step) {
      std::chrono::milliseconds cool = settings.coolDown;
      for (int i = 1; i < step && cool < settings.longestCoolDown; ++i) cool *= 2;
      return std::min(cool, settings.longestCoolDown);
    };
    if (!retryAfter) return escalated(strikes);
    const auto asked = std::chrono::duration_cast<std::chrono::milliseconds>(*retryAfter);
    return strikes <= 1 ? asked : std::max(asked, escalated(strikes - 1));
  }

  // The shortest time between two lookups through one exit. Slots are given
  // out ahead on a grid; a worker that starts its slot late must not bring
  // the next one closer than this.
  Clock::duration ShortestGap() const {
    if (settings.ratePerMinute <= 0) return Clock::duration::zero();
    const double seconds = 60.0 / settings.ratePerMinute * (1.0 - std::max(0.0, settings.jitter));
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  }

  std::optional<Clock::time_point> NextWake(Clock::time_point now) const {
    std::optional<Clock::time_point> wake;
    auto consider = [&wake](Clock::time_point t) {
      if (!wake || t < *wake) wake = t;
    };
    for (const Task& task : queue) {
      if (task.notBefore > now) consider(task.notBefore);
    }
    for (const ExitSlot& slot : exits) {
      if (slot.coolingUntil > now) consider(slot.coolingUntil);
    }
    return wake;
  }

  Record Finish(const Task& task, const lookup::LookupResult& result, lookup::Outcome outcome) {
    Record record;
    record.domain = (*domains)[task.index];
    record.outcome = outcome;
    record.values = result.values;
    record.values.resize(source.Columns().size());
    record.reason = result.reason;
    record.attempts = task.attempts;
    record.exit = task.lastExit >= 0 ? exits[static_cast<std::size_t>(task.lastExit)].exit.Name() : std::string();
    ++progress.done;
    progress.Count(outcome);
    return record;
  }

  // Settles one answer under the lock; returns the records it finished.
  void Settle(Task task, const lookup::LookupResult& result, std::size_t exitIndex, Clock::time_point now,
              std::vector<Record>& finished) {
    ExitSlot& slot = exits[exitIndex];
    switch (result.outcome) {
      case lookup::Outcome::kFound:
      case lookup::Outcome::kNone:
        slot.strikes = 0;
        slot.answeredSinceCooling = true;
        finished.push_back(Finish(task, result, result.outcome));
        return;
      case lookup::Outcome::kRefused: {
        ++slot.refusals;
        ++slot.strikes;
        ++task.refusals;
        // An exit that has just answered others and refuses this domain may
        // be refusing the domain; one that refuses on coming back from its
        // cool-down is refusing us.
        if (slot.answeredSinceCooling) ++task.blamed;
        slot.answeredSinceCooling = false;
        if (settings.stopOnRefusal) {
          if (!stopping) ending = Ending::kStoppedByRefusal;
          stopping = true;
          finished.push_back(Finish(task, result, lookup::Outcome::kRefused));
          return;
        }
        slot.coolingUntil = std::max(slot.coolingUntil, now + CoolDown(slot.strikes, result.retryAfter));
        if (task.blamed >= settings.refusalsPerDomain || task.refusals >= 4 * settings.refusalsPerDomain) {
          finished.push_back(Finish(task, result, lookup::Outcome::kRefused));
          return;
        }
        task.notBefore = now;
        queue.push_front(task);
        return;
      }
      case lookup::Outcome::kFailed: {
        ++task.failures;
        if (task.failures > settings.retries) {
          finished.push_back(Finish(task, result, lookup::Outcome::kFailed));
          return;
        }
        auto pause = settings.retryPause * (1L << std::min(task.failures - 1, 20));
        if (result.retryAfter) {
          const auto asked = std::chrono::duration_cast<std::chrono::milliseconds>(*result.retryAfter);
          pause = std::max(pause, asked);
          slot.nextSlot = std::max(slot.nextSlot, now + asked);
        }
        task.notBefore = now + pause;
        queue.push_back(task);
        return;
      }
    }
  }

  void Hand(const std::vector<Record>& finished) {
    if (finished.empty()) return;
    const std::lock_guard lock(recordMutex);
    const std::string time = LocalTimeNow();
    for (Record record : finished) {
      record.time = time;
      if (onRecord != nullptr) (*onRecord)(record);
    }
  }

  void Work() {
    std::unique_lock lock(mutex);
    for (;;) {
      if (stopping || closed) break;
      const Clock::time_point now = Clock::now();
      if (queue.empty()) {
        if (progress.inFlight == 0) {
          changed.notify_all();
          break;
        }
        changed.wait(lock);
        continue;
      }
      ExitSlot* slot = FreeExit(now);
      std::vector<Task> tasks = slot != nullptr ? TakeReady(now) : std::vector<Task>{};
      if (tasks.empty()) {
        const std::optional<Clock::time_point> wake = NextWake(now);
        if (wake) {
          changed.wait_until(lock, *wake);
        } else {
          changed.wait(lock);
        }
        continue;
      }
      const std::size_t exitIndex = static_cast<std::size_t>(slot - exits.data());
      const Clock::time_point start = std::max(now, slot->nextSlot);
      slot->nextSlot = start + Interval();
      ++progress.inFlight;
      // Waits for the exit's slot; a stop or the exit cooling meanwhile puts
      // the tasks back untouched.
      for (Clock::time_point at = start;;) {
        changed.wait_until(lock, at, [this] { return stopping; });
        if (stopping || exits[exitIndex].lastStart == Clock::time_point{}) break;
        at = exits[exitIndex].lastStart + ShortestGap();
        if (Clock::now() >= at) break;
      }
      if (stopping || exits[exitIndex].coolingUntil > Clock::now()) {
        for (auto it = tasks.rbegin(); it != tasks.rend(); ++it) queue.push_front(*it);
        --progress.inFlight;
        changed.notify_all();
        continue;
      }
      std::vector<std::string> asked;
      for (Task& task : tasks) {
        ++task.attempts;
        task.lastExit = static_cast<std::int16_t>(exitIndex);
        asked.push_back((*domains)[task.index]);
      }
      ++exits[exitIndex].lookups;
      exits[exitIndex].lastStart = Clock::now();
      const lookup::Exit exit = exits[exitIndex].exit;
      lock.unlock();
      std::vector<lookup::LookupResult> results = source.Lookup(asked, exit);
      lock.lock();
      if (closed) {
        --progress.inFlight;
        break;
      }
      std::vector<Record> finished;
      const Clock::time_point answered = Clock::now();
      for (std::size_t i = 0; i < tasks.size(); ++i) {
        lookup::LookupResult result;
        if (i < results.size()) {
          result = std::move(results[i]);
        } else {
          result.outcome = lookup::Outcome::kFailed;
          result.reason = "no result";
        }
        Settle(tasks[i], result, exitIndex, answered, finished);
      }
      // Handing on under the state lock would hold up the other workers for
      // as long as the caller takes to write. The lookup counts as in flight
      // until its records are handed on, so Run cannot end in between.
      lock.unlock();
      Hand(finished);
      lock.lock();
      --progress.inFlight;
      changed.notify_all();
    }
    changed.notify_all();
  }
};

Engine::Engine(lookup::Source& source, std::vector<lookup::Exit> exits, EngineSettings settings)
    : state_(std::make_shared<State>(source, std::move(exits), settings)) {}

Engine::~Engine() {
  Stop(std::chrono::milliseconds(0));
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
}

Ending Engine::Run(const std::vector<std::string>& domains, const RecordHandler& onRecord) {
  State& state = *state_;
  {
    const std::lock_guard lock(state.mutex);
    const Clock::time_point now = Clock::now();
    state.domains = &domains;
    for (std::size_t i = 0; i < domains.size(); ++i) {
      state.queue.push_back(Task{static_cast<std::uint32_t>(i), 0, 0, 0, 0, -1, now});
    }
    state.progress.total = static_cast<long>(domains.size());
    state.progress.exits = static_cast<int>(state.exits.size());
    state.progress.started = now;
    for (ExitSlot& slot : state.exits) slot.nextSlot = now;
    state.onRecord = &onRecord;
  }
  const int workers = static_cast<int>(
      std::min<std::size_t>(static_cast<std::size_t>(state.settings.concurrency),
                            std::max<std::size_t>(1, (domains.size() + state.batchSize - 1) / state.batchSize)));
  for (int i = 0; i < workers; ++i) workers_.emplace_back([&state] { state.Work(); });
  std::unique_lock lock(state.mutex);
  state.changed.wait(lock,
                     [&state] { return (state.queue.empty() && state.progress.inFlight == 0) || state.stopping; });
  if (state.stopping) {
    // Lookups in flight may end within the grace; the rest are left behind.
    const Clock::time_point deadline = Clock::now() + grace_;
    state.changed.wait_until(lock, deadline, [&state] { return state.progress.inFlight == 0; });
  }
  // The record lock is taken after the state lock is let go, so a worker
  // handing on records finishes its hand before Run returns.
  state.closed = true;
  state.changed.notify_all();
  const Ending ending = state.stopping ? state.ending : Ending::kCompleted;
  lock.unlock();
  const std::lock_guard recordLock(state.recordMutex);
  state.onRecord = nullptr;
  return ending;
}

void Engine::Stop(std::chrono::milliseconds grace) {
  State& state = *state_;
  const std::lock_guard lock(state.mutex);
  if (!state.stopping) {
    state.stopping = true;
    state.ending = Ending::kInterrupted;
  }
  grace_ = grace;
  state.changed.notify_all();
}

Progress Engine::Snapshot() const {
  const std::lock_guard lock(state_->mutex);
  state_->CountCooling(Clock::now());
  return state_->progress;
}

std::vector<ExitState> Engine::Exits() const {
  const std::lock_guard lock(state_->mutex);
  const Clock::time_point now = Clock::now();
  std::vector<ExitState> states;
  for (const ExitSlot& slot : state_->exits) {
    states.push_back(
        ExitState{slot.exit.Name(), slot.coolingUntil > now, slot.coolingUntil, slot.lookups, slot.refusals});
  }
  return states;
}

}  // namespace rankora::batch
