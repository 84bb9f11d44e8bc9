#include "batch/engine.h"

#include "batch/status_line.h"

#include <algorithm>
#include <random>
#include <thread>

#include "batch/local_time.h"

namespace rankora::batch {
namespace {

// The direct connection when no exit is given.
std::vector<lookup::Exit> AtLeastOne(std::vector<lookup::Exit> exits) {
  if (exits.empty()) exits.emplace_back();
  return exits;
}

std::vector<std::string> Names(const std::vector<lookup::Exit>& exits) {
  std::vector<std::string> names;
  names.reserve(exits.size());
  for (const lookup::Exit& exit : exits) names.push_back(exit.Name());
  return names;
}

}  // namespace

struct Engine::State {
  State(lookup::Source& source, std::vector<lookup::Exit> exitList, const EngineSettings& settings)
      : source(source),
        exits(AtLeastOne(std::move(exitList))),
        workersWanted(std::max(1, settings.concurrency)),
        schedule(Names(exits), source.BatchSize(), settings, std::random_device{}()) {}

  lookup::Source& source;
  std::vector<lookup::Exit> exits;
  int workersWanted;
  Schedule schedule;

  mutable std::mutex mutex;
  std::condition_variable changed;
  bool closed = false;                        // Run has returned: late results are dropped
  std::string stopReason;                     // the words of the answer that stopped the run
  lookup::Why stopWhy = lookup::Why::kOther;  // and why it failed

  const std::vector<std::string>* domains = nullptr;
  std::mutex recordMutex;
  const RecordHandler* onRecord = nullptr;

  void Hand(const std::vector<Record>& finished) {
    if (finished.empty()) return;
    const std::lock_guard lock(recordMutex);
    const std::string time = LocalTimeNow();
    for (Record record : finished) {
      record.time = time;
      if (onRecord != nullptr) (*onRecord)(record);
    }
  }

  Record MakeRecord(const Schedule::Task& task, lookup::LookupResult result) const {
    Record record;
    record.domain = (*domains)[task.index];
    record.outcome = result.outcome;
    record.values = std::move(result.values);
    record.values.resize(source.Columns().size());
    record.reason = std::move(result.reason);
    record.attempts = task.attempts;
    record.exit = exits[static_cast<std::size_t>(task.lastExit)].Name();
    return record;
  }

  // Carries out what the schedule says is due, until it says the run is
  // done or Run has returned.
  void Work() {
    std::unique_lock lock(mutex);
    while (!closed) {
      Schedule::Step step = schedule.Next(Clock::now());
      if (step.kind == Schedule::Step::Kind::kFinished) break;
      if (step.kind == Schedule::Step::Kind::kWait) {
        if (step.until) {
          changed.wait_until(lock, *step.until);
        } else {
          changed.wait(lock);
        }
        continue;
      }
      std::vector<std::string> asked;
      for (const Schedule::Task& task : step.tasks) asked.push_back((*domains)[task.index]);
      const lookup::Exit exit = exits[step.exit];
      lock.unlock();
      std::vector<lookup::LookupResult> results = source.Lookup(asked, exit);
      lock.lock();
      if (closed) {
        schedule.Ended();
        break;
      }
      std::vector<Record> finished;
      const Clock::time_point answered = Clock::now();
      for (std::size_t i = 0; i < step.tasks.size(); ++i) {
        lookup::LookupResult result;
        if (i < results.size()) {
          result = std::move(results[i]);
        } else {
          result.outcome = lookup::Outcome::kFailed;
          result.reason = "no result";
        }
        const bool wasStopping = schedule.Stopping();
        const Schedule::Verdict verdict =
            schedule.OnAnswer(step.tasks[i], result.outcome, result.retryAfter, answered, result.reach, result.why);
        if (!wasStopping && schedule.Stopping()) {
          stopReason = result.reason;
          stopWhy = result.why;
        }
        if (verdict.kind == Schedule::Verdict::Kind::kRecord || verdict.kind == Schedule::Verdict::Kind::kStop) {
          finished.push_back(MakeRecord(step.tasks[i], std::move(result)));
        }
      }
      // Handing on under the state lock would hold up the other workers for
      // as long as the caller takes to write. The lookup counts as in flight
      // until its records are handed on, so Run cannot end in between.
      changed.notify_all();
      lock.unlock();
      Hand(finished);
      lock.lock();
      schedule.Ended();
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
    state.domains = &domains;
    state.onRecord = &onRecord;
    state.schedule.Begin(domains.size(), Clock::now());
  }
  const std::size_t batchSize = std::max<std::size_t>(1, state.source.BatchSize());
  const int workers =
      static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(state.workersWanted),
                                             std::max<std::size_t>(1, (domains.size() + batchSize - 1) / batchSize)));
  for (int i = 0; i < workers; ++i) workers_.emplace_back([&state] { state.Work(); });
  std::unique_lock lock(state.mutex);
  state.changed.wait(lock, [&state] { return state.schedule.Finished() || state.schedule.Stopping(); });
  if (state.schedule.Stopping()) {
    // Lookups in flight may end within the grace; the rest are left behind.
    const Clock::time_point deadline = Clock::now() + grace_;
    state.changed.wait_until(lock, deadline, [&state] { return state.schedule.InFlight() == 0; });
  }
  // The record lock is taken after the state lock is let go, so a worker
  // handing on records finishes its hand before Run returns.
  state.closed = true;
  state.changed.notify_all();
  const Ending ending = state.schedule.HowEnded();
  lock.unlock();
  const std::lock_guard recordLock(state.recordMutex);
  state.onRecord = nullptr;
  return ending;
}

void Engine::Stop(std::chrono::milliseconds grace) {
  State& state = *state_;
  const std::lock_guard lock(state.mutex);
  state.schedule.Stop();
  grace_ = grace;
  state.changed.notify_all();
}

Progress Engine::Snapshot() const {
  const std::lock_guard lock(state_->mutex);
  return state_->schedule.Snapshot(Clock::now());
}

std::string Engine::StopReason() const {
  const std::lock_guard lock(state_->mutex);
  return state_->stopReason;
}

lookup::Why Engine::StopWhy() const {
  const std::lock_guard lock(state_->mutex);
  return state_->stopWhy;
}

std::vector<ExitState> Engine::Exits() const {
  const std::lock_guard lock(state_->mutex);
  return state_->schedule.Exits(Clock::now());
}

}  // namespace rankora::batch
