#include "batch/schedule.h"

#include <algorithm>
#include <utility>

namespace rankora::batch {

Schedule::Schedule(std::vector<std::string> exits, std::size_t batchSize, EngineSettings settings, std::uint32_t seed)
    : settings_(settings), batchSize_(std::max<std::size_t>(1, batchSize)), random_(seed) {
  if (exits.empty()) exits.emplace_back("direct");
  for (std::string& name : exits) {
    ExitSlot slot;
    slot.name = std::move(name);
    exits_.push_back(std::move(slot));
  }
  if (settings_.concurrency < 1) settings_.concurrency = 1;
  if (settings_.refusalsPerDomain <= 0) settings_.refusalsPerDomain = static_cast<int>(exits_.size()) + 1;
  progress_.exits = static_cast<int>(exits_.size());
}

void Schedule::Begin(std::size_t count, Clock::time_point now) {
  for (std::size_t i = 0; i < count; ++i) {
    Task task;
    task.index = static_cast<std::uint32_t>(i);
    task.notBefore = now;
    queue_.push_back(task);
  }
  progress_.total = static_cast<long>(count);
  progress_.started = now;
  for (ExitSlot& slot : exits_) slot.nextSlot = now;
}

Clock::duration Schedule::NominalInterval() const {
  if (settings_.ratePerMinute <= 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(60.0 / settings_.ratePerMinute));
}

Clock::duration Schedule::Interval() {
  if (settings_.ratePerMinute <= 0) return Clock::duration::zero();
  const double seconds = 60.0 / settings_.ratePerMinute;
  double factor = 1.0;
  if (settings_.jitter > 0) {
    std::uniform_real_distribution<double> spread(-settings_.jitter, settings_.jitter);
    factor += spread(random_);
  }
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds * factor));
}

Clock::duration Schedule::ShortestGap() const {
  if (settings_.ratePerMinute <= 0) return Clock::duration::zero();
  const double seconds = 60.0 / settings_.ratePerMinute * (1.0 - std::max(0.0, settings_.jitter));
  return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// How long an exit cools after its `strikes`-th refusal in a row: the first
// cool-down, doubling up to the longest. The service's own word on when to
// come back is taken at its first refusal; when it refuses again after that,
// the doubling guess counts too.
std::chrono::milliseconds Schedule::CoolDown(int strikes, const std::optional<std::chrono::seconds>& retryAfter) const {
  auto escalated = [this](int step) {
    std::chrono::milliseconds cool = settings_.coolDown;
    for (int i = 1; i < step && cool < settings_.longestCoolDown; ++i) cool *= 2;
    return std::min(cool, settings_.longestCoolDown);
  };
  if (!retryAfter) return escalated(strikes);
  const std::chrono::milliseconds asked = Asked(*retryAfter);
  return strikes <= 1 ? asked : std::max(asked, escalated(strikes - 1));
}

// A wait the service asks for, never longer than the longest cool-down: a
// Retry-After of years (a broken or hostile server) must not hang the run.
std::chrono::milliseconds Schedule::Asked(std::chrono::seconds retryAfter) const {
  // Compared in seconds first: a huge value in milliseconds would overflow.
  const auto longest = std::chrono::ceil<std::chrono::seconds>(settings_.longestCoolDown);
  if (retryAfter >= longest) return settings_.longestCoolDown;
  return std::chrono::duration_cast<std::chrono::milliseconds>(retryAfter);
}

Clock::time_point Schedule::CoolingUntil(const ExitSlot& slot) const {
  return std::max(slot.coolingUntil, sourceCoolingUntil_);
}

Clock::time_point Schedule::FreeAt(const ExitSlot& slot) const { return std::max(slot.nextSlot, CoolingUntil(slot)); }

// Up to a lookup's worth of tasks that may start now, from the front.
std::vector<Schedule::Task> Schedule::TakeReady(Clock::time_point now) {
  std::vector<Task> taken;
  for (auto it = queue_.begin(); it != queue_.end() && taken.size() < batchSize_;) {
    if (it->notBefore <= now) {
      taken.push_back(*it);
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

// When the first queued task is due. Fresh and refused tasks sit at the
// front and are due at once, so a long queue is seldom walked far.
Clock::time_point Schedule::FirstReady(Clock::time_point now) const {
  Clock::time_point first = Clock::time_point::max();
  for (const Task& task : queue_) {
    if (task.notBefore <= now) return task.notBefore;
    first = std::min(first, task.notBefore);
  }
  return first;
}

Schedule::Step Schedule::Next(Clock::time_point now) {
  Step step;
  if (stopping_) return step;
  if (queue_.empty()) {
    if (inFlight_ > 0) step.kind = Step::Kind::kWait;
    return step;
  }
  step.kind = Step::Kind::kWait;
  if (inFlight_ >= settings_.concurrency) return step;
  // Of the exits free now, the one whose slot came first, and of those the
  // one that started longest ago, so that unpaced exits take turns.
  ExitSlot* free = nullptr;
  Clock::time_point firstFree = Clock::time_point::max();
  for (ExitSlot& slot : exits_) {
    const Clock::time_point at = FreeAt(slot);
    firstFree = std::min(firstFree, at);
    if (at > now) continue;
    if (free == nullptr || slot.nextSlot < free->nextSlot ||
        (slot.nextSlot == free->nextSlot && slot.turn < free->turn)) {
      free = &slot;
    }
  }
  std::vector<Task> tasks = free != nullptr ? TakeReady(now) : std::vector<Task>{};
  if (tasks.empty()) {
    step.until = std::max(firstFree, FirstReady(now));
    return step;
  }
  // A start a little behind its slot keeps to the exit's grid, so that the
  // rate holds over a long run; after the exit has stood idle a new grid
  // begins now. Either way the next start keeps the shortest gap after this one.
  const Clock::time_point gridPoint = now - free->nextSlot < NominalInterval() ? free->nextSlot : now;
  free->nextSlot = std::max(gridPoint + Interval(), now + ShortestGap());
  const auto exitIndex = static_cast<std::int16_t>(free - exits_.data());
  for (Task& task : tasks) {
    ++task.attempts;
    task.lastExit = exitIndex;
  }
  ++free->lookups;
  free->turn = ++starts_;
  ++inFlight_;
  step.kind = Step::Kind::kStart;
  step.exit = static_cast<std::size_t>(exitIndex);
  step.tasks = std::move(tasks);
  return step;
}

Schedule::Verdict Schedule::Finish(lookup::Outcome outcome) {
  ++progress_.done;
  progress_.Count(outcome);
  return Verdict{};
}

Schedule::Verdict Schedule::RefusedBySource(Task task, ExitSlot& slot, std::optional<std::chrono::seconds> retryAfter,
                                            Clock::time_point now) {
  ++slot.refusals;
  ++task.refusals;
  // One call refuses all of its domains at one moment, and calls in flight
  // when the cool-down began come back refused within it: neither is a new
  // refusal.
  if (now >= sourceCoolingUntil_ && now != sourceStruckAt_) {
    ++sourceStrikes_;
    sourceStruckAt_ = now;
    sourceCoolingUntil_ = now + CoolDown(sourceStrikes_, retryAfter);
  }
  if (task.refusals >= 4 * settings_.refusalsPerDomain) return Finish(lookup::Outcome::kRefused);
  task.notBefore = now;
  queue_.push_front(task);
  return Verdict{Verdict::Kind::kRequeue, now};
}

Schedule::Verdict Schedule::OnAnswer(Task task, lookup::Outcome outcome, std::optional<std::chrono::seconds> retryAfter,
                                     Clock::time_point now, lookup::Reach reach, lookup::Why why) {
  ExitSlot& slot = exits_[static_cast<std::size_t>(std::max<std::int16_t>(0, task.lastExit))];
  switch (outcome) {
    case lookup::Outcome::kFound:
    case lookup::Outcome::kNone:
      slot.strikes = 0;
      slot.answeredSinceCooling = true;
      sourceStrikes_ = 0;
      return Finish(outcome);
    case lookup::Outcome::kRefused: {
      if (reach != lookup::Reach::kExit) return RefusedBySource(task, slot, retryAfter, now);
      ++slot.refusals;
      ++slot.strikes;
      ++task.refusals;
      // An exit that has just answered others and refuses this domain may be
      // refusing the domain; one that refuses on coming back from its
      // cool-down is refusing us.
      if (slot.answeredSinceCooling) ++task.blamed;
      slot.answeredSinceCooling = false;
      if (settings_.stopOnRefusal) {
        if (!stopping_) ending_ = Ending::kStoppedByRefusal;
        stopping_ = true;
        Finish(outcome);
        return Verdict{Verdict::Kind::kStop, now};
      }
      slot.coolingUntil = std::max(slot.coolingUntil, now + CoolDown(slot.strikes, retryAfter));
      if (task.blamed >= settings_.refusalsPerDomain || task.refusals >= 4 * settings_.refusalsPerDomain) {
        return Finish(outcome);
      }
      task.notBefore = now;
      queue_.push_front(task);
      return Verdict{Verdict::Kind::kRequeue, now};
    }
    case lookup::Outcome::kFailed:
      if (reach == lookup::Reach::kRun) {
        if (!stopping_) ending_ = Ending::kStoppedBySource;
        stopping_ = true;
        Finish(outcome);
        return Verdict{Verdict::Kind::kStop, now};
      }
      break;
  }
  ++task.failures;
  if (task.failures > settings_.retries) {
    if (settings_.stopWhenUnreachable && lookup::Unreachable(why)) {
      if (!stopping_) ending_ = Ending::kStoppedUnreachable;
      stopping_ = true;
      Finish(outcome);
      return Verdict{Verdict::Kind::kStop, now};
    }
    return Finish(lookup::Outcome::kFailed);
  }
  auto pause = settings_.retryPause * (1L << std::min(task.failures - 1, 20));
  if (retryAfter) {
    const std::chrono::milliseconds asked = Asked(*retryAfter);
    pause = std::max(pause, asked);
    slot.nextSlot = std::max(slot.nextSlot, now + asked);
  }
  task.notBefore = now + pause;
  queue_.push_back(task);
  return Verdict{Verdict::Kind::kRetry, task.notBefore};
}

void Schedule::Ended() {
  if (inFlight_ > 0) --inFlight_;
}

void Schedule::Stop() {
  if (!stopping_) {
    stopping_ = true;
    ending_ = Ending::kInterrupted;
  }
}

Progress Schedule::Snapshot(Clock::time_point now) const {
  Progress progress = progress_;
  progress.inFlight = inFlight_;
  std::optional<Clock::time_point> first;
  for (const ExitSlot& slot : exits_) {
    const Clock::time_point until = CoolingUntil(slot);
    if (until <= now) continue;
    ++progress.exitsCooling;
    if (!first || until < *first) first = until;
  }
  if (progress.exitsCooling == progress.exits) progress.nextExitBack = first;
  return progress;
}

std::vector<ExitState> Schedule::Exits(Clock::time_point now) const {
  std::vector<ExitState> states;
  for (const ExitSlot& slot : exits_) {
    const Clock::time_point until = CoolingUntil(slot);
    states.push_back(ExitState{slot.name, until > now, until, slot.lookups, slot.refusals});
  }
  return states;
}

}  // namespace rankora::batch
