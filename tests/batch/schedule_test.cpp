#include "batch/schedule.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <map>
#include <set>

namespace rankora::batch {
namespace {

using lookup::Outcome;
using namespace std::chrono_literals;
using Kind = Schedule::Step::Kind;
using VerdictKind = Schedule::Verdict::Kind;

// The moment each test's run begins; time moves only by hand from there.
const Clock::time_point kStart = Clock::time_point{} + 24h;

std::vector<std::string> Exits(int count) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back("e" + std::to_string(i));
  return names;
}

EngineSettings Unpaced() {
  EngineSettings settings;
  settings.ratePerMinute = 0;
  settings.retryPause = 1s;
  return settings;
}

Schedule::Step Start(Schedule& schedule, Clock::time_point now) {
  Schedule::Step step = schedule.Next(now);
  EXPECT_EQ(step.kind, Kind::kStart);
  return step;
}

// Settles every task of a started lookup alike and ends it.
std::vector<Schedule::Verdict> Answer(Schedule& schedule, const Schedule::Step& step, Outcome outcome,
                                      Clock::time_point now, std::optional<std::chrono::seconds> retryAfter = {}) {
  std::vector<Schedule::Verdict> verdicts;
  for (const Schedule::Task& task : step.tasks) verdicts.push_back(schedule.OnAnswer(task, outcome, retryAfter, now));
  schedule.Ended();
  return verdicts;
}

// A run carried out on the hand-moved clock with lookups answered at the
// moment they start, as the engine's threads would carry it out.
struct Reply {
  Outcome outcome = Outcome::kFound;
  std::optional<std::chrono::seconds> retryAfter;
  lookup::Why why = lookup::Why::kOther;
};
// Answers a domain asked through an exit for the n-th time (1-based).
using Replies = std::function<Reply(std::uint32_t domain, std::size_t exit, int nth)>;

struct Simulation {
  struct Call {
    std::vector<std::uint32_t> domains;
    std::size_t exit = 0;
    Clock::time_point start;
  };
  struct Finished {
    Outcome outcome = Outcome::kFailed;
    int attempts = 0;
    std::size_t exit = 0;
  };
  std::vector<Call> calls;
  std::map<std::uint32_t, Finished> records;
  std::map<std::uint32_t, int> times;  // how often each domain was recorded
  Clock::time_point end;

  std::vector<Clock::time_point> StartsOf(std::uint32_t domain) const {
    std::vector<Clock::time_point> starts;
    for (const Call& call : calls) {
      if (std::find(call.domains.begin(), call.domains.end(), domain) != call.domains.end()) {
        starts.push_back(call.start);
      }
    }
    return starts;
  }
};

Simulation Simulate(Schedule& schedule, std::size_t count, const Replies& replies) {
  Simulation run;
  std::map<std::uint32_t, int> asked;
  schedule.Begin(count, kStart);
  Clock::time_point now = kStart;
  for (int guard = 0; guard < 100000; ++guard) {
    const Schedule::Step step = schedule.Next(now);
    if (step.kind == Kind::kFinished) break;
    if (step.kind == Kind::kWait) {
      // Nothing is in flight between steps, so there is always a time to wait for.
      if (!step.until) {
        ADD_FAILURE() << "waits for an answer with none in flight";
        break;
      }
      EXPECT_GT(*step.until, now);
      now = *step.until;
      continue;
    }
    Simulation::Call call{{}, step.exit, now};
    for (const Schedule::Task& task : step.tasks) {
      call.domains.push_back(task.index);
      const Reply reply = replies(task.index, step.exit, ++asked[task.index]);
      const Schedule::Verdict verdict =
          schedule.OnAnswer(task, reply.outcome, reply.retryAfter, now, lookup::Reach::kExit, reply.why);
      if (verdict.kind == VerdictKind::kRecord || verdict.kind == VerdictKind::kStop) {
        run.records[task.index] = Simulation::Finished{reply.outcome, task.attempts, step.exit};
        ++run.times[task.index];
      }
    }
    schedule.Ended();
    run.calls.push_back(call);
  }
  run.end = now;
  return run;
}

Reply Found() { return Reply{}; }
Reply Refused(std::optional<std::chrono::seconds> retryAfter = {}) { return Reply{Outcome::kRefused, retryAfter}; }
Reply Failed(std::optional<std::chrono::seconds> retryAfter = {}) { return Reply{Outcome::kFailed, retryAfter}; }

TEST(ScheduleRun, StartsEveryDomainOnceAndThenFinishes) {
  Schedule schedule(Exits(3), 1, Unpaced(), 1);
  const Simulation run = Simulate(schedule, 50, [](std::uint32_t, std::size_t, int) { return Found(); });
  ASSERT_EQ(run.records.size(), 50u);
  for (const auto& [domain, times] : run.times) EXPECT_EQ(times, 1) << domain;
  for (const auto& [domain, record] : run.records) EXPECT_EQ(record.attempts, 1) << domain;
  EXPECT_TRUE(schedule.Finished());
  EXPECT_EQ(schedule.HowEnded(), Ending::kCompleted);
  const Progress progress = schedule.Snapshot(run.end);
  EXPECT_EQ(progress.total, 50);
  EXPECT_EQ(progress.done, 50);
  EXPECT_EQ(progress.found, 50);
  EXPECT_EQ(progress.inFlight, 0);
  EXPECT_EQ(progress.exits, 3);
  EXPECT_EQ(progress.started, kStart);
}

TEST(ScheduleRun, AnEmptyListIsFinishedAtOnce) {
  Schedule schedule({}, 1, Unpaced(), 1);
  schedule.Begin(0, kStart);
  EXPECT_EQ(schedule.Next(kStart).kind, Kind::kFinished);
  EXPECT_EQ(schedule.Exits(kStart).at(0).name, "direct");
}

TEST(ScheduleRun, WaitsForTheAnswersInFlightBeforeItIsFinished) {
  Schedule schedule(Exits(1), 1, Unpaced(), 1);
  schedule.Begin(1, kStart);
  const Schedule::Step step = Start(schedule, kStart);
  Schedule::Step next = schedule.Next(kStart);
  EXPECT_EQ(next.kind, Kind::kWait);
  EXPECT_FALSE(next.until.has_value());
  EXPECT_FALSE(schedule.Finished());
  EXPECT_EQ(schedule.Snapshot(kStart).inFlight, 1);
  Answer(schedule, step, Outcome::kNone, kStart);
  EXPECT_TRUE(schedule.Finished());
  EXPECT_EQ(schedule.Next(kStart).kind, Kind::kFinished);
  EXPECT_EQ(schedule.Snapshot(kStart).none, 1);
}

TEST(SchedulePacing, StartsThroughAnExitExactlyAnIntervalApartWithoutJitter) {
  EngineSettings settings;
  settings.ratePerMinute = 60;
  settings.jitter = 0;
  Schedule schedule(Exits(1), 1, settings, 1);
  schedule.Begin(3, kStart);
  Start(schedule, kStart);
  Schedule::Step step = schedule.Next(kStart + 400ms);
  EXPECT_EQ(step.kind, Kind::kWait);
  EXPECT_EQ(step.until, kStart + 1s);
  EXPECT_EQ(schedule.Next(kStart + 1s - 1ns).kind, Kind::kWait);
  Start(schedule, kStart + 1s);
  EXPECT_EQ(schedule.Next(kStart + 1s).until, kStart + 2s);
}

TEST(SchedulePacing, EachExitWaitsItsIntervalBetweenLookups) {
  EngineSettings settings;
  settings.ratePerMinute = 3000;  // one every 20 ms per exit
  settings.jitter = 0.1;
  settings.concurrency = 8;
  Schedule schedule(Exits(2), 1, settings, 7);
  const Simulation run = Simulate(schedule, 24, [](std::uint32_t, std::size_t, int) { return Found(); });
  std::map<std::size_t, std::vector<Clock::time_point>> starts;
  for (const Simulation::Call& call : run.calls) starts[call.exit].push_back(call.start);
  ASSERT_EQ(starts.size(), 2u);
  for (const auto& [exit, times] : starts) {
    EXPECT_EQ(times.size(), 12u) << exit;
    for (std::size_t i = 1; i < times.size(); ++i) {
      // 20 ms less or more the jitter, to within rounding
      EXPECT_GE(times[i] - times[i - 1], 18ms - 1us) << exit << " lookup " << i;
      EXPECT_LE(times[i] - times[i - 1], 22ms + 1us) << exit << " lookup " << i;
    }
  }
}

TEST(SchedulePacing, JittersEachIntervalWithinItsBoundsAndRepeatsForTheSameSeed) {
  EngineSettings settings;
  settings.ratePerMinute = 60;
  settings.jitter = 0.1;
  auto gaps = [&settings](std::uint32_t seed) {
    Schedule schedule(Exits(1), 1, settings, seed);
    const Simulation run = Simulate(schedule, 200, [](std::uint32_t, std::size_t, int) { return Found(); });
    std::vector<Clock::duration> between;
    for (std::size_t i = 1; i < run.calls.size(); ++i) between.push_back(run.calls[i].start - run.calls[i - 1].start);
    return between;
  };
  const std::vector<Clock::duration> first = gaps(11);
  ASSERT_EQ(first.size(), 199u);
  for (const Clock::duration gap : first) {
    EXPECT_GE(gap, 900ms - 1us);
    EXPECT_LE(gap, 1100ms + 1us);
  }
  // Spread over the whole range, not one fixed pause.
  EXPECT_LT(*std::min_element(first.begin(), first.end()), 920ms);
  EXPECT_GT(*std::max_element(first.begin(), first.end()), 1080ms);
  EXPECT_EQ(gaps(11), first);
  EXPECT_NE(gaps(12), first);
}

TEST(SchedulePacing, StartsALittleLateKeepToTheGrid) {
  EngineSettings settings;
  settings.ratePerMinute = 60;
  settings.jitter = 0.1;
  // Twins with one seed draw the same intervals: one starts every lookup on
  // its slot, the other each 30 ms late.
  Schedule onTime(Exits(1), 1, settings, 5);
  Schedule late(Exits(1), 1, settings, 5);
  onTime.Begin(100, kStart);
  late.Begin(100, kStart);
  Clock::time_point onTimeNow = kStart;
  Clock::time_point lateNow = kStart + 30ms;
  for (int i = 0; i < 100; ++i) {
    Answer(onTime, Start(onTime, onTimeNow), Outcome::kFound, onTimeNow);
    const Schedule::Step step = Start(late, lateNow);
    Answer(late, step, Outcome::kFound, lateNow);
    if (i == 99) break;
    const Schedule::Step onTimeWait = onTime.Next(onTimeNow);
    const Schedule::Step lateWait = late.Next(lateNow);
    ASSERT_TRUE(onTimeWait.until && lateWait.until);
    EXPECT_GE(*lateWait.until - lateNow, 900ms - 1us) << i;  // never closer than the interval less the jitter
    onTimeNow = *onTimeWait.until;
    lateNow = *lateWait.until + 30ms;
  }
  // A hundred late starts are late by little more than the last one's 30 ms
  // beside the twin, not by a hundred times 30 ms.
  EXPECT_LT(lateNow - onTimeNow, 1s);
}

TEST(SchedulePacing, AnExitIdleForLongBeginsANewGridRatherThanCatchUp) {
  EngineSettings settings;
  settings.ratePerMinute = 60;
  settings.jitter = 0.5;
  settings.concurrency = 1;
  Schedule schedule(Exits(1), 1, settings, 3);
  schedule.Begin(20, kStart);
  Answer(schedule, Start(schedule, kStart), Outcome::kFound, kStart + 10s);  // a slow answer
  Clock::time_point now = kStart + 10s;
  for (int i = 0; i < 19; ++i) {
    Answer(schedule, Start(schedule, now), Outcome::kFound, now);
    const Schedule::Step wait = schedule.Next(now);
    if (wait.kind == Kind::kFinished) break;
    ASSERT_TRUE(wait.until.has_value());
    EXPECT_GE(*wait.until - now, 500ms - 1us);
    now = *wait.until;
  }
  // Eighteen intervals of a second give or take a half; catching up on the
  // ten seconds missed would have packed them at half a second each.
  EXPECT_GT(now - (kStart + 10s), 12s);
}

TEST(SchedulePacing, NeverHasMoreLookupsInFlightThanAllowed) {
  EngineSettings settings = Unpaced();
  settings.concurrency = 2;
  Schedule schedule(Exits(8), 1, settings, 1);
  schedule.Begin(10, kStart);
  const Schedule::Step first = Start(schedule, kStart);
  Start(schedule, kStart);
  const Schedule::Step full = schedule.Next(kStart);
  EXPECT_EQ(full.kind, Kind::kWait);
  EXPECT_FALSE(full.until.has_value());  // until a lookup ends, whenever that is
  EXPECT_EQ(schedule.Snapshot(kStart).inFlight, 2);
  Answer(schedule, first, Outcome::kFound, kStart + 1s);
  Start(schedule, kStart + 1s);
  EXPECT_EQ(schedule.Next(kStart + 1s).kind, Kind::kWait);
}

TEST(SchedulePacing, UnpacedExitsTakeTurns) {
  Schedule schedule(Exits(3), 1, Unpaced(), 1);
  const Simulation run = Simulate(schedule, 7, [](std::uint32_t, std::size_t, int) { return Found(); });
  std::vector<std::size_t> exits;
  for (const Simulation::Call& call : run.calls) exits.push_back(call.exit);
  EXPECT_EQ(exits, (std::vector<std::size_t>{0, 1, 2, 0, 1, 2, 0}));
  EXPECT_EQ(run.end, kStart);
}

TEST(SchedulePacing, AsksForAsManyDomainsAtOnceAsTheSourceTakes) {
  EngineSettings settings = Unpaced();
  settings.concurrency = 1;
  Schedule schedule({}, 50, settings, 1);
  const Simulation run = Simulate(schedule, 120, [](std::uint32_t, std::size_t, int) { return Found(); });
  EXPECT_EQ(run.records.size(), 120u);
  std::vector<std::size_t> sizes;
  std::vector<std::uint32_t> order;
  for (const Simulation::Call& call : run.calls) {
    sizes.push_back(call.domains.size());
    order.insert(order.end(), call.domains.begin(), call.domains.end());
  }
  EXPECT_EQ(sizes, (std::vector<std::size_t>{50, 50, 20}));
  EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}

TEST(ScheduleRefusals, ARefusingExitCoolsAndItsDomainGoesToAnother) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 15min;
  Schedule schedule(Exits(2), 1, settings, 1);
  schedule.Begin(3, kStart);
  const Schedule::Step first = Start(schedule, kStart);
  ASSERT_EQ(first.exit, 0u);
  const std::vector<Schedule::Verdict> verdicts = Answer(schedule, first, Outcome::kRefused, kStart + 1s);
  EXPECT_EQ(verdicts.at(0).kind, VerdictKind::kRequeue);
  const Schedule::Step again = Start(schedule, kStart + 1s);
  EXPECT_EQ(again.exit, 1u);
  ASSERT_EQ(again.tasks.size(), 1u);
  EXPECT_EQ(again.tasks[0].index, first.tasks.at(0).index);  // first in line again
  EXPECT_EQ(again.tasks[0].attempts, 2);
  const std::vector<ExitState> exits = schedule.Exits(kStart + 1s);
  EXPECT_TRUE(exits[0].cooling);
  EXPECT_EQ(exits[0].coolingUntil, kStart + 1s + 15min);
  EXPECT_EQ(exits[0].refusals, 1);
  EXPECT_FALSE(exits[1].cooling);
  EXPECT_EQ(Start(schedule, kStart + 1s).exit, 1u);  // only the other exit is left
}

TEST(ScheduleRefusals, StopsAtTheFirstRefusalWhenSoSet) {
  EngineSettings settings = Unpaced();
  settings.stopOnRefusal = true;
  settings.concurrency = 1;
  Schedule schedule({}, 1, settings, 1);
  int answered = 0;
  const Simulation run =
      Simulate(schedule, 10, [&](std::uint32_t, std::size_t, int) { return ++answered >= 3 ? Refused() : Found(); });
  EXPECT_EQ(schedule.HowEnded(), Ending::kStoppedByRefusal);
  EXPECT_TRUE(schedule.Stopping());
  ASSERT_EQ(run.records.size(), 3u);
  EXPECT_EQ(run.records.at(2).outcome, Outcome::kRefused);
  EXPECT_EQ(run.calls.size(), 3u);
  EXPECT_EQ(schedule.Snapshot(run.end).refused, 1);
}

TEST(ScheduleRefusals, AStopAskedForIsAnInterruptionWhateverFollows) {
  EngineSettings settings = Unpaced();
  settings.stopOnRefusal = true;
  Schedule schedule(Exits(1), 1, settings, 1);
  schedule.Begin(5, kStart);
  const Schedule::Step inFlight = Start(schedule, kStart);
  schedule.Stop();
  EXPECT_EQ(schedule.Next(kStart).kind, Kind::kFinished);
  // The lookup in flight still settles.
  EXPECT_EQ(Answer(schedule, inFlight, Outcome::kRefused, kStart).at(0).kind, VerdictKind::kStop);
  EXPECT_EQ(schedule.HowEnded(), Ending::kInterrupted);
  EXPECT_EQ(schedule.InFlight(), 0);
}

TEST(ScheduleRefusals, WaitsForACoolingExitWhenEveryExitCools) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 60s;
  settings.concurrency = 1;
  Schedule schedule({}, 1, settings, 1);
  const Simulation run = Simulate(schedule, 3, [](std::uint32_t domain, std::size_t, int nth) {
    return domain == 0 && nth == 1 ? Refused() : Found();
  });
  ASSERT_EQ(run.records.size(), 3u);
  EXPECT_EQ(run.records.at(0).outcome, Outcome::kFound);
  EXPECT_EQ(run.records.at(0).attempts, 2);
  ASSERT_EQ(run.calls.size(), 4u);
  EXPECT_EQ(run.calls[1].start - run.calls[0].start, 60s);
  EXPECT_EQ(run.calls[1].domains, std::vector<std::uint32_t>{0});
}

TEST(ScheduleRefusals, ShowsWhenTheFirstCoolingExitComesBack) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1h;
  Schedule schedule(Exits(2), 1, settings, 1);
  schedule.Begin(5, kStart);
  Answer(schedule, Start(schedule, kStart), Outcome::kRefused, kStart);
  Progress progress = schedule.Snapshot(kStart);
  EXPECT_EQ(progress.exitsCooling, 1);
  EXPECT_FALSE(progress.nextExitBack.has_value());  // one exit still works
  Answer(schedule, Start(schedule, kStart + 10min), Outcome::kRefused, kStart + 10min);
  progress = schedule.Snapshot(kStart + 10min);
  EXPECT_EQ(progress.exitsCooling, 2);
  EXPECT_EQ(progress.nextExitBack, kStart + 1h);
  const Schedule::Step wait = schedule.Next(kStart + 10min);
  EXPECT_EQ(wait.kind, Kind::kWait);
  EXPECT_EQ(wait.until, kStart + 1h);
  progress = schedule.Snapshot(kStart + 1h);
  EXPECT_EQ(progress.exitsCooling, 1);
  EXPECT_FALSE(progress.nextExitBack.has_value());
  EXPECT_EQ(Start(schedule, kStart + 1h).exit, 0u);
}

TEST(ScheduleRefusals, DoublesTheCoolDownAndObeysRetryAfter) {
  int calls = 0;
  EngineSettings settings = Unpaced();
  settings.coolDown = 40s;
  settings.longestCoolDown = 1h;
  settings.refusalsPerDomain = 10;
  settings.concurrency = 1;
  Schedule schedule({}, 1, settings, 1);
  const Simulation run = Simulate(schedule, 2, [&](std::uint32_t, std::size_t, int) {
    switch (++calls) {
      case 1:
      case 2:
        return Refused();
      case 3:
        return Found();  // an answer ends the doubling
      case 4:
      case 5:
        return Refused(0s);
      default:
        return Found();
    }
  });
  const std::vector<Simulation::Call>& seen = run.calls;
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[1].start - seen[0].start, 40s);
  EXPECT_EQ(seen[2].start - seen[1].start, 80s);  // doubled
  EXPECT_EQ(seen[3].start - seen[2].start, 0s);
  EXPECT_EQ(seen[4].start - seen[3].start, 0s);   // Retry-After: 0 is taken at its word once
  EXPECT_EQ(seen[5].start - seen[4].start, 40s);  // and no longer when the exit refuses again
}

TEST(ScheduleRefusals, DoublesTheCoolDownNoFurtherThanTheLongest) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  settings.longestCoolDown = 5min;
  settings.refusalsPerDomain = 100;
  Schedule schedule({}, 1, settings, 1);
  const Simulation run =
      Simulate(schedule, 1, [](std::uint32_t, std::size_t, int nth) { return nth <= 5 ? Refused() : Found(); });
  std::vector<Clock::duration> gaps;
  for (std::size_t i = 1; i < run.calls.size(); ++i) gaps.push_back(run.calls[i].start - run.calls[i - 1].start);
  EXPECT_EQ(gaps, (std::vector<Clock::duration>{1min, 2min, 4min, 5min, 5min}));
  EXPECT_EQ(run.records.at(0).outcome, Outcome::kFound);
}

TEST(ScheduleRefusals, AnAnswerStartsTheDoublingAfresh) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  settings.longestCoolDown = 1h;
  Schedule schedule({}, 1, settings, 1);
  schedule.Begin(4, kStart);
  Answer(schedule, Start(schedule, kStart), Outcome::kRefused, kStart);
  Answer(schedule, Start(schedule, kStart + 1min), Outcome::kRefused, kStart + 1min);
  EXPECT_EQ(schedule.Next(kStart + 1min).until, kStart + 3min);
  Answer(schedule, Start(schedule, kStart + 3min), Outcome::kFound, kStart + 3min);
  Answer(schedule, Start(schedule, kStart + 3min), Outcome::kRefused, kStart + 3min);
  EXPECT_EQ(schedule.Next(kStart + 3min).until, kStart + 4min);
}

TEST(ScheduleRefusals, TakesALongRetryAfterAtItsWordOnTheFirstRefusal) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  Schedule schedule({}, 1, settings, 1);
  schedule.Begin(2, kStart);
  Answer(schedule, Start(schedule, kStart), Outcome::kRefused, kStart, 10min);
  EXPECT_EQ(schedule.Next(kStart).until, kStart + 10min);
  EXPECT_EQ(schedule.Exits(kStart).at(0).coolingUntil, kStart + 10min);
}

TEST(ScheduleRefusals, DoesNotBlameDomainsForAnExitThatRefusesEverything) {
  // Every exit refuses its first lookups after each cool-down, as a service
  // over its limit does, then answers.
  int calls = 0;
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  settings.longestCoolDown = 2min;
  settings.refusalsPerDomain = 2;
  settings.concurrency = 1;
  Schedule schedule(Exits(2), 1, settings, 1);
  const Simulation run =
      Simulate(schedule, 3, [&](std::uint32_t, std::size_t, int) { return ++calls <= 6 ? Refused() : Found(); });
  ASSERT_EQ(run.records.size(), 3u);
  for (const auto& [domain, record] : run.records) EXPECT_EQ(record.outcome, Outcome::kFound) << domain;
}

TEST(ScheduleRefusals, ADomainRefusedByExitsThatAnswerOthersIsRecordedAsRefused) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1h;
  settings.refusalsPerDomain = 2;
  Schedule schedule(Exits(3), 1, settings, 1);
  schedule.Begin(4, kStart);
  const Schedule::Step d0 = Start(schedule, kStart);
  const Schedule::Step d1 = Start(schedule, kStart);
  const Schedule::Step d2 = Start(schedule, kStart);
  ASSERT_EQ(d1.exit, 1u);
  Answer(schedule, d0, Outcome::kFound, kStart);
  Answer(schedule, d2, Outcome::kFound, kStart);
  // Exit 1 had answered nothing yet: not held against the domain.
  EXPECT_EQ(Answer(schedule, d1, Outcome::kRefused, kStart).at(0).kind, VerdictKind::kRequeue);
  const Schedule::Step second = Start(schedule, kStart);
  ASSERT_EQ(second.tasks.at(0).index, 1u);
  EXPECT_EQ(Answer(schedule, second, Outcome::kRefused, kStart).at(0).kind, VerdictKind::kRequeue);
  const Schedule::Step third = Start(schedule, kStart);
  ASSERT_EQ(third.tasks.at(0).index, 1u);
  EXPECT_NE(third.exit, second.exit);
  EXPECT_EQ(Answer(schedule, third, Outcome::kRefused, kStart).at(0).kind, VerdictKind::kRecord);
  EXPECT_EQ(third.tasks[0].attempts, 3);
  EXPECT_EQ(schedule.Snapshot(kStart).refused, 1);
}

TEST(ScheduleRefusals, ADomainEveryExitRefusesIsRecordedAsRefused) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  settings.refusalsPerDomain = 3;
  Schedule schedule(Exits(2), 1, settings, 1);
  const Simulation run =
      Simulate(schedule, 4, [](std::uint32_t domain, std::size_t, int) { return domain == 1 ? Refused() : Found(); });
  EXPECT_EQ(schedule.HowEnded(), Ending::kCompleted);
  ASSERT_EQ(run.records.size(), 4u);
  EXPECT_EQ(run.records.at(1).outcome, Outcome::kRefused);
  // Blamed three times by exits that were answering, or refused twelve
  // times in all once nothing else is left to answer.
  EXPECT_GE(run.records.at(1).attempts, 3);
  EXPECT_LE(run.records.at(1).attempts, 12);
}

TEST(ScheduleRefusals, ADomainRefusedFourTimesTheLimitIsRecordedThoughNeverBlamed) {
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  Schedule schedule({}, 1, settings, 1);  // the limit: one exit and one more
  const Simulation run = Simulate(schedule, 1, [](std::uint32_t, std::size_t, int) { return Refused(); });
  EXPECT_EQ(run.records.at(0).outcome, Outcome::kRefused);
  EXPECT_EQ(run.records.at(0).attempts, 8);
}

TEST(ScheduleFailures, RetriesTransientFailuresThenGoesOn) {
  EngineSettings settings = Unpaced();
  settings.retries = 3;
  settings.retryPause = 5s;
  Schedule schedule(Exits(2), 1, settings, 1);
  const Simulation run = Simulate(schedule, 5, [](std::uint32_t domain, std::size_t, int nth) {
    if (domain == 0) return nth <= 2 ? Failed() : Found();
    if (domain == 1) return Failed();
    return Found();
  });
  EXPECT_EQ(schedule.HowEnded(), Ending::kCompleted);
  ASSERT_EQ(run.records.size(), 5u);
  EXPECT_EQ(run.records.at(0).outcome, Outcome::kFound);
  EXPECT_EQ(run.records.at(0).attempts, 3);
  EXPECT_EQ(run.records.at(1).outcome, Outcome::kFailed);
  EXPECT_EQ(run.records.at(1).attempts, 4);
  // The pauses double: 5, 10, 20 s.
  const std::vector<Clock::time_point> starts = run.StartsOf(1);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts[1] - starts[0], 5s);
  EXPECT_EQ(starts[2] - starts[1], 10s);
  EXPECT_EQ(starts[3] - starts[2], 20s);
  // The others did not wait for them.
  EXPECT_EQ(run.StartsOf(4).at(0), kStart);
}

TEST(ScheduleFailures, SaysWhenARetryIsDue) {
  EngineSettings settings = Unpaced();
  settings.retries = 1;
  settings.retryPause = 5s;
  Schedule schedule({}, 1, settings, 1);
  schedule.Begin(1, kStart);
  const std::vector<Schedule::Verdict> first = Answer(schedule, Start(schedule, kStart), Outcome::kFailed, kStart);
  EXPECT_EQ(first.at(0).kind, VerdictKind::kRetry);
  EXPECT_EQ(first.at(0).at, kStart + 5s);
  EXPECT_EQ(schedule.Next(kStart).until, kStart + 5s);
  const std::vector<Schedule::Verdict> second =
      Answer(schedule, Start(schedule, kStart + 5s), Outcome::kFailed, kStart + 5s);
  EXPECT_EQ(second.at(0).kind, VerdictKind::kRecord);
  EXPECT_EQ(schedule.Snapshot(kStart + 5s).failed, 1);
}

TEST(ScheduleFailures, ARetryWaitsAsLongAsTheServiceAsks) {
  EngineSettings settings = Unpaced();
  settings.retryPause = 1s;
  Schedule schedule({}, 1, settings, 1);
  const Simulation run = Simulate(schedule, 1, [](std::uint32_t, std::size_t, int nth) {
    return nth == 1 ? Failed(std::chrono::seconds(60)) : Found();
  });
  ASSERT_EQ(run.calls.size(), 2u);
  EXPECT_EQ(run.calls[1].start - run.calls[0].start, 60s);
}

TEST(ScheduleFailures, TheExitToldToWaitWaitsForItsOtherDomainsToo) {
  EngineSettings settings = Unpaced();
  settings.retryPause = 90s;  // longer than the service asks
  Schedule schedule({}, 1, settings, 1);
  schedule.Begin(2, kStart);
  const std::vector<Schedule::Verdict> verdicts =
      Answer(schedule, Start(schedule, kStart), Outcome::kFailed, kStart, 60s);
  EXPECT_EQ(verdicts.at(0).at, kStart + 90s);
  const Schedule::Step wait = schedule.Next(kStart + 1s);
  EXPECT_EQ(wait.kind, Kind::kWait);
  EXPECT_EQ(wait.until, kStart + 60s);
  const Schedule::Step next = Start(schedule, kStart + 60s);
  EXPECT_EQ(next.tasks.at(0).index, 1u);
}

TEST(ScheduleRetryAfter, NoWaitTheServiceAsksForIsLongerThanTheLongestCoolDown) {
  constexpr std::chrono::seconds kForever{1'000'000'000};
  EngineSettings settings = Unpaced();
  settings.coolDown = 1min;
  settings.longestCoolDown = 2h;
  settings.retryPause = 1s;
  // A refusal's cool-down.
  Schedule refused({}, 1, settings, 1);
  refused.Begin(2, kStart);
  Answer(refused, Start(refused, kStart), Outcome::kRefused, kStart, kForever);
  EXPECT_EQ(refused.Exits(kStart).at(0).coolingUntil, kStart + 2h);
  EXPECT_EQ(refused.Next(kStart).until, kStart + 2h);
  // A failure's retry, and the exit it came through.
  Schedule failed({}, 1, settings, 1);
  failed.Begin(2, kStart);
  const std::vector<Schedule::Verdict> verdicts =
      Answer(failed, Start(failed, kStart), Outcome::kFailed, kStart, kForever);
  EXPECT_EQ(verdicts.at(0).at, kStart + 2h);
  EXPECT_EQ(failed.Next(kStart).until, kStart + 2h);
  // As large as a header can say: no overflow into the past.
  Schedule largest({}, 1, settings, 1);
  largest.Begin(1, kStart);
  EXPECT_EQ(Answer(largest, Start(largest, kStart), Outcome::kFailed, kStart,
                   std::chrono::seconds(std::numeric_limits<std::chrono::seconds::rep>::max()))
                .at(0)
                .at,
            kStart + 2h);
}

// The paid interface's limit is its key's, which every exit shares.
EngineSettings KeyCooling() {
  EngineSettings settings = Unpaced();
  settings.coolDown = 10s;
  settings.longestCoolDown = 40s;
  settings.stopOnRefusal = true;  // refusals of an exit would stop; the key's never do
  return settings;
}

std::vector<Schedule::Verdict> AnswerWithReach(Schedule& schedule, const Schedule::Step& step, Outcome outcome,
                                               lookup::Reach reach, Clock::time_point now,
                                               std::optional<std::chrono::seconds> retryAfter = {}) {
  std::vector<Schedule::Verdict> verdicts;
  for (const Schedule::Task& task : step.tasks) {
    verdicts.push_back(schedule.OnAnswer(task, outcome, retryAfter, now, reach));
  }
  schedule.Ended();
  return verdicts;
}

// Refuses a started lookup for the key, and says until when no exit may start.
Clock::time_point KeyRefused(Schedule& schedule, Clock::time_point now,
                             std::optional<std::chrono::seconds> retryAfter = {}) {
  const Schedule::Step step = Start(schedule, now);
  for (const Schedule::Verdict& verdict :
       AnswerWithReach(schedule, step, Outcome::kRefused, lookup::Reach::kSource, now, retryAfter)) {
    EXPECT_EQ(verdict.kind, VerdictKind::kRequeue);
  }
  const Schedule::Step waiting = schedule.Next(now);
  EXPECT_EQ(waiting.kind, Kind::kWait);
  return waiting.until.value_or(now);
}

TEST(ScheduleKeyCoolDown, CoolsEveryExitDoublingUpToTheLongestUntilAnAnswer) {
  Schedule schedule(Exits(3), 2, KeyCooling(), 1);
  schedule.Begin(4, kStart);
  // A refusal of one call holds back all three exits, once for the call
  // (its two domains add nothing).
  EXPECT_EQ(KeyRefused(schedule, kStart), kStart + 10s);
  const Progress cooling = schedule.Snapshot(kStart + 1s);
  EXPECT_EQ(cooling.exitsCooling, 3);
  EXPECT_EQ(cooling.nextExitBack, kStart + 10s);
  for (const ExitState& exit : schedule.Exits(kStart + 1s)) EXPECT_TRUE(exit.cooling) << exit.name;
  EXPECT_EQ(KeyRefused(schedule, kStart + 10s), kStart + 30s);
  EXPECT_EQ(KeyRefused(schedule, kStart + 30s), kStart + 70s);
  EXPECT_EQ(KeyRefused(schedule, kStart + 70s), kStart + 110s);  // the longest
  // An answer through any exit ends the count: the next refusal starts over.
  const Schedule::Step answered = Start(schedule, kStart + 110s);
  AnswerWithReach(schedule, answered, Outcome::kFound, lookup::Reach::kExit, kStart + 110s);
  EXPECT_EQ(KeyRefused(schedule, kStart + 111s), kStart + 121s);
  EXPECT_FALSE(schedule.Stopping());
  EXPECT_EQ(Start(schedule, kStart + 121s).tasks.size(), 2u);
}

TEST(ScheduleKeyCoolDown, CallsInFlightWhenItBeganAddNothing) {
  Schedule schedule(Exits(2), 1, KeyCooling(), 1);
  schedule.Begin(3, kStart);
  const Schedule::Step first = Start(schedule, kStart);
  const Schedule::Step second = Start(schedule, kStart);
  AnswerWithReach(schedule, first, Outcome::kRefused, lookup::Reach::kSource, kStart + 1s);
  AnswerWithReach(schedule, second, Outcome::kRefused, lookup::Reach::kSource, kStart + 2s);
  const Schedule::Step waiting = schedule.Next(kStart + 2s);
  ASSERT_EQ(waiting.kind, Kind::kWait);
  EXPECT_EQ(waiting.until, kStart + 11s);
  // The exits' own cool-downs are untouched: each is back with the key.
  EXPECT_EQ(Start(schedule, kStart + 11s).exit, 0u);
  EXPECT_EQ(Start(schedule, kStart + 11s).exit, 1u);
}

TEST(ScheduleKeyCoolDown, ObeysARetryAfterNoLongerThanTheLongestCoolDown) {
  Schedule schedule(Exits(2), 1, KeyCooling(), 1);
  schedule.Begin(2, kStart);
  EXPECT_EQ(KeyRefused(schedule, kStart, 25s), kStart + 25s);
  // Refused again: the doubling counts too, as for an exit.
  EXPECT_EQ(KeyRefused(schedule, kStart + 25s, 3s), kStart + 35s);
  Schedule hostile(Exits(1), 1, KeyCooling(), 1);
  hostile.Begin(1, kStart);
  EXPECT_EQ(KeyRefused(hostile, kStart, std::chrono::hours(24 * 365)), kStart + 40s);
}

TEST(ScheduleKeyCoolDown, ADomainRefusedForTheKeyFourTimesTheLimitIsRecordedAndTheRunCompletes) {
  EngineSettings settings = KeyCooling();
  settings.refusalsPerDomain = 1;
  Schedule schedule(Exits(1), 1, settings, 1);
  schedule.Begin(1, kStart);
  Clock::time_point now = kStart;
  for (int refusal = 1; refusal < 4; ++refusal) now = KeyRefused(schedule, now);
  const Schedule::Step last = Start(schedule, now);
  EXPECT_EQ(AnswerWithReach(schedule, last, Outcome::kRefused, lookup::Reach::kSource, now)[0].kind,
            VerdictKind::kRecord);
  EXPECT_TRUE(schedule.Finished());
  EXPECT_EQ(schedule.HowEnded(), Ending::kCompleted);
  EXPECT_EQ(schedule.Snapshot(now).refused, 1);
}

TEST(ScheduleRunStoppers, AFailureThatReachesTheRunStopsItAtOnceWithoutARetry) {
  EngineSettings settings = Unpaced();
  settings.retries = 5;
  Schedule schedule(Exits(2), 2, settings, 1);
  schedule.Begin(5, kStart);
  const Schedule::Step rejected = Start(schedule, kStart);
  const Schedule::Step inFlight = Start(schedule, kStart);
  for (const Schedule::Verdict& verdict :
       AnswerWithReach(schedule, rejected, Outcome::kFailed, lookup::Reach::kRun, kStart + 1s)) {
    EXPECT_EQ(verdict.kind, VerdictKind::kStop);
  }
  EXPECT_TRUE(schedule.Stopping());
  EXPECT_EQ(schedule.Next(kStart + 1s).kind, Kind::kFinished);
  // A lookup in flight still settles, and the ending stays the first cause.
  AnswerWithReach(schedule, inFlight, Outcome::kFound, lookup::Reach::kExit, kStart + 2s);
  schedule.Stop();
  EXPECT_EQ(schedule.HowEnded(), Ending::kStoppedBySource);
  const Progress progress = schedule.Snapshot(kStart + 2s);
  EXPECT_EQ(progress.failed, 2);
  EXPECT_EQ(progress.found, 2);
  EXPECT_EQ(progress.done, 4);
}

TEST(ScheduleRunStoppers, AFailureOfTheCallAloneIsRetriedAsATransientOne) {
  Schedule schedule(Exits(1), 2, Unpaced(), 1);
  schedule.Begin(2, kStart);
  const Schedule::Step step = Start(schedule, kStart);
  for (const Schedule::Verdict& verdict :
       AnswerWithReach(schedule, step, Outcome::kFailed, lookup::Reach::kExit, kStart)) {
    EXPECT_EQ(verdict.kind, VerdictKind::kRetry);
    EXPECT_EQ(verdict.at, kStart + 1s);
  }
  EXPECT_FALSE(schedule.Stopping());
}

TEST(ScheduleRunStoppers, AServiceOutOfReachAfterADomainsRetriesStopsTheRunWhenSoSet) {
  EngineSettings settings = Unpaced();
  settings.retries = 1;
  settings.concurrency = 1;
  const auto run = [&settings](lookup::Why why) {
    Schedule schedule(Exits(1), 1, settings, 1);
    Simulation simulation = Simulate(schedule, 5, [why](std::uint32_t, std::size_t, int) {
      return Reply{Outcome::kFailed, {}, why};
    });
    return std::pair{simulation, schedule.HowEnded()};
  };
  settings.stopWhenUnreachable = true;
  for (const lookup::Why why : {lookup::Why::kNameNotResolved, lookup::Why::kCannotConnect, lookup::Why::kTimedOut,
                                lookup::Why::kSecureFailure}) {
    const auto [simulation, ending] = run(why);
    EXPECT_EQ(ending, Ending::kStoppedUnreachable);
    // The first domain to use up its retries stops the run: one record, and
    // no domain asked a third time.
    ASSERT_EQ(simulation.records.size(), 1u);
    EXPECT_EQ(simulation.records.begin()->second.outcome, Outcome::kFailed);
    EXPECT_EQ(simulation.records.begin()->second.attempts, 2);
    for (std::uint32_t domain = 0; domain < 5; ++domain) EXPECT_LE(simulation.StartsOf(domain).size(), 2u);
  }
  // Any other failure is retried, then recorded, and the run goes on.
  const auto [busy, busyEnding] = run(lookup::Why::kOther);
  EXPECT_EQ(busyEnding, Ending::kCompleted);
  EXPECT_EQ(busy.records.size(), 5u);
  // Without the setting (exits to spare) an exit out of reach is a transient failure.
  settings.stopWhenUnreachable = false;
  const auto [spared, sparedEnding] = run(lookup::Why::kCannotConnect);
  EXPECT_EQ(sparedEnding, Ending::kCompleted);
  EXPECT_EQ(spared.records.size(), 5u);
}

}  // namespace
}  // namespace rankora::batch
