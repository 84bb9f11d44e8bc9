#include "batch/engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace rankora::batch {
namespace {

using lookup::Exit;
using lookup::LookupResult;
using lookup::Outcome;
using namespace std::chrono_literals;

// A source whose answers a test decides, recording every call. It can hold
// its calls until the test lets them go, to stop a run with lookups in flight.
class FakeSource : public lookup::Source {
 public:
  struct Call {
    std::vector<std::string> domains;
    std::string exit;
  };
  // Answers one domain asked through an exit for the n-th time (1-based).
  using Answer = std::function<LookupResult(const std::string& domain, const std::string& exit, int nth)>;

  explicit FakeSource(Answer answer, std::size_t batchSize = 1) : answer_(std::move(answer)), batch_(batchSize) {}

  std::vector<std::string> Columns() const override { return {"weight"}; }
  std::size_t BatchSize() const override { return batch_; }
  std::vector<LookupResult> Lookup(const std::vector<std::string>& domains, const Exit& exit) override {
    const int now = ++inFlight_;
    for (int seen = maxInFlight_; now > seen && !maxInFlight_.compare_exchange_weak(seen, now);) {
    }
    std::vector<LookupResult> results;
    {
      std::unique_lock lock(mutex_);
      calls_.push_back(Call{domains, exit.Name()});
      ++started_;
      changed_.notify_all();
      changed_.wait(lock, [this] { return !holding_; });
    }
    if (pause_.count() > 0) std::this_thread::sleep_for(pause_);
    for (const std::string& domain : domains) {
      int nth = 0;
      {
        const std::lock_guard lock(mutex_);
        nth = ++asked_[domain];
      }
      LookupResult result = answer_(domain, exit.Name(), nth);
      result.domain = domain;
      results.push_back(std::move(result));
    }
    --inFlight_;
    return results;
  }

  std::vector<Call> Calls() const {
    const std::lock_guard lock(mutex_);
    return calls_;
  }
  int MaxInFlight() const { return maxInFlight_; }
  // How long each call takes, so that calls overlap.
  void SetPause(std::chrono::milliseconds pause) { pause_ = pause; }
  // Holds every call until Release().
  void Hold() {
    const std::lock_guard lock(mutex_);
    holding_ = true;
  }
  void Release() {
    const std::lock_guard lock(mutex_);
    holding_ = false;
    changed_.notify_all();
  }
  // Blocks until `count` calls have started (and gives up after a minute,
  // so that a fault fails the test instead of hanging it).
  bool AwaitStarted(int count) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 60s, [&] { return started_ >= count; });
  }

 private:
  Answer answer_;
  std::size_t batch_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool holding_ = false;
  int started_ = 0;
  std::vector<Call> calls_;
  std::map<std::string, int> asked_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> maxInFlight_{0};
  std::chrono::milliseconds pause_{0};
};

LookupResult Found(const std::string& weight = "4") { return LookupResult{{}, Outcome::kFound, {weight}, {}, {}}; }
LookupResult Refused() { return LookupResult{{}, Outcome::kRefused, {}, "refusal page", {}}; }
LookupResult Failed(std::optional<std::chrono::seconds> retryAfter = std::nullopt) {
  return LookupResult{{}, Outcome::kFailed, {}, "HTTP 503", retryAfter};
}

std::vector<std::string> Domains(int count) {
  std::vector<std::string> domains;
  for (int i = 0; i < count; ++i) domains.push_back("d" + std::to_string(i) + ".com");
  return domains;
}

std::vector<Exit> Proxies(int count) {
  std::vector<Exit> exits;
  for (int i = 0; i < count; ++i) exits.push_back(Exit{"127.0.0.1:" + std::to_string(9000 + i), {}, {}});
  return exits;
}

EngineSettings Unpaced() {
  EngineSettings settings;
  settings.ratePerMinute = 0;
  settings.retryPause = 1ms;
  return settings;
}

// Runs the engine and keeps what it hands on.
struct Outcomes {
  Ending ending = Ending::kCompleted;
  std::vector<Record> records;
  std::map<std::string, int> times;  // how often each domain was handed on

  const Record* Of(const std::string& domain) const {
    for (const Record& record : records) {
      if (record.domain == domain) return &record;
    }
    return nullptr;
  }
};

Outcomes RunAll(Engine& engine, const std::vector<std::string>& domains) {
  Outcomes outcomes;
  outcomes.ending = engine.Run(domains, [&outcomes](const Record& record) {
    outcomes.records.push_back(record);
    ++outcomes.times[record.domain];
  });
  return outcomes;
}

TEST(EngineRun, HandsOnEveryDomainOnceWithItsWeightExitAndTime) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found("7"); });
  Engine engine(source, Proxies(3), Unpaced());
  const Outcomes outcomes = RunAll(engine, Domains(200));
  EXPECT_EQ(outcomes.ending, Ending::kCompleted);
  ASSERT_EQ(outcomes.records.size(), 200u);
  for (const auto& [domain, times] : outcomes.times) EXPECT_EQ(times, 1) << domain;
  for (const Record& record : outcomes.records) {
    EXPECT_EQ(record.outcome, Outcome::kFound);
    EXPECT_EQ(record.values, std::vector<std::string>{"7"});
    EXPECT_EQ(record.attempts, 1);
    EXPECT_EQ(record.exit.rfind("127.0.0.1:900", 0), 0u) << record.exit;
    EXPECT_EQ(record.time.size(), 19u) << record.time;
  }
  const Progress progress = engine.Snapshot();
  EXPECT_EQ(progress.total, 200);
  EXPECT_EQ(progress.done, 200);
  EXPECT_EQ(progress.found, 200);
  EXPECT_EQ(progress.inFlight, 0);
}

TEST(EngineRun, AnEmptyListEndsAtOnce) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); });
  Engine engine(source, {}, Unpaced());
  const Outcomes outcomes = RunAll(engine, {});
  EXPECT_EQ(outcomes.ending, Ending::kCompleted);
  EXPECT_TRUE(outcomes.records.empty());
}

TEST(EngineRun, WithoutExitsGoesDirect) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); });
  Engine engine(source, {}, Unpaced());
  const Outcomes outcomes = RunAll(engine, Domains(3));
  for (const Record& record : outcomes.records) EXPECT_EQ(record.exit, "direct");
}

TEST(EnginePacing, NeverHasMoreLookupsInFlightThanAllowed) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); });
  source.SetPause(3ms);
  EngineSettings settings = Unpaced();
  settings.concurrency = 4;
  Engine engine(source, Proxies(8), settings);
  RunAll(engine, Domains(100));
  EXPECT_LE(source.MaxInFlight(), 4);
  EXPECT_GE(source.MaxInFlight(), 2);  // and does run them side by side
}

TEST(EnginePacing, AsksForAsManyDomainsAtOnceAsTheSourceTakes) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); }, 50);
  EngineSettings settings = Unpaced();
  settings.concurrency = 1;
  Engine engine(source, {}, settings);
  const Outcomes outcomes = RunAll(engine, Domains(120));
  EXPECT_EQ(outcomes.records.size(), 120u);
  std::vector<std::size_t> sizes;
  for (const FakeSource::Call& call : source.Calls()) sizes.push_back(call.domains.size());
  EXPECT_EQ(sizes, (std::vector<std::size_t>{50, 50, 20}));
}

TEST(EngineRefusals, ARefusingExitCoolsAndItsDomainsGoToTheOthers) {
  const std::string refusing = "127.0.0.1:9001";
  FakeSource source(
      [&](const std::string&, const std::string& exit, int) { return exit == refusing ? Refused() : Found(); });
  EngineSettings settings = Unpaced();
  settings.coolDown = 1h;
  Engine engine(source, Proxies(3), settings);
  const Outcomes outcomes = RunAll(engine, Domains(60));
  EXPECT_EQ(outcomes.ending, Ending::kCompleted);
  ASSERT_EQ(outcomes.records.size(), 60u);
  for (const Record& record : outcomes.records) {
    EXPECT_EQ(record.outcome, Outcome::kFound) << record.domain;
    EXPECT_NE(record.exit, refusing) << record.domain;
  }
  // The refusing exit was left alone once it refused: only lookups already
  // under way beside the first went through it.
  for (const ExitState& exit : engine.Exits()) {
    if (exit.name == refusing) {
      EXPECT_EQ(exit.lookups, exit.refusals);
      EXPECT_LE(exit.lookups, 3);
      EXPECT_TRUE(exit.cooling);
    } else {
      EXPECT_FALSE(exit.cooling);
    }
  }
  // The engine shows the schedule's progress: one exit cools, the others work.
  const Progress progress = engine.Snapshot();
  EXPECT_EQ(progress.exitsCooling, 1);
  EXPECT_FALSE(progress.nextExitBack.has_value());
  EXPECT_EQ(progress.found, 60);
}

TEST(EngineRefusals, StopsAtTheFirstRefusalWhenSoSet) {
  std::atomic<int> answered{0};
  FakeSource source([&](const std::string&, const std::string&, int) { return ++answered >= 3 ? Refused() : Found(); });
  EngineSettings settings = Unpaced();
  settings.stopOnRefusal = true;
  settings.concurrency = 1;
  Engine engine(source, {}, settings);
  const Outcomes outcomes = RunAll(engine, Domains(10));
  EXPECT_EQ(outcomes.ending, Ending::kStoppedByRefusal);
  ASSERT_EQ(outcomes.records.size(), 3u);
  EXPECT_EQ(outcomes.records[0].outcome, Outcome::kFound);
  EXPECT_EQ(outcomes.records[1].outcome, Outcome::kFound);
  EXPECT_EQ(outcomes.records[2].outcome, Outcome::kRefused);
  EXPECT_EQ(outcomes.records[2].reason, "refusal page");
  EXPECT_EQ(source.Calls().size(), 3u);
}

TEST(EngineStop, StopsStartingLookupsAndHandsOnThoseThatEndInTime) {
  std::atomic<Engine*> running{nullptr};
  std::atomic<int> calls{0};
  FakeSource source([&](const std::string&, const std::string&, int) {
    if (++calls == 5) running.load()->Stop(2s);
    return Found();
  });
  source.SetPause(2ms);
  EngineSettings settings = Unpaced();
  settings.concurrency = 2;
  Engine engine(source, Proxies(2), settings);
  running = &engine;
  const Outcomes outcomes = RunAll(engine, Domains(100));
  EXPECT_EQ(outcomes.ending, Ending::kInterrupted);
  EXPECT_EQ(static_cast<int>(outcomes.records.size()), calls.load());  // none lost
  EXPECT_LT(outcomes.records.size(), 10u);
  for (const auto& [domain, times] : outcomes.times) EXPECT_EQ(times, 1) << domain;
}

TEST(EngineWaits, CarriesOutPacingRetriesAndCoolDownsToTheEnd) {
  FakeSource source([](const std::string& domain, const std::string&, int nth) {
    if (domain == "d0.com") return nth <= 2 ? Failed() : Found();
    if (domain == "d1.com") return nth == 1 ? Refused() : Found();
    if (domain == "d2.com") return Failed();
    return Found();
  });
  EngineSettings settings;
  settings.ratePerMinute = 600000;  // slots a tenth of a millisecond apart
  settings.concurrency = 4;
  settings.retries = 2;
  settings.retryPause = 1ms;
  settings.coolDown = 1ms;
  Engine engine(source, Proxies(2), settings);
  const Outcomes outcomes = RunAll(engine, Domains(40));
  EXPECT_EQ(outcomes.ending, Ending::kCompleted);
  ASSERT_EQ(outcomes.records.size(), 40u);
  for (const auto& [domain, times] : outcomes.times) EXPECT_EQ(times, 1) << domain;
  EXPECT_EQ(outcomes.Of("d0.com")->outcome, Outcome::kFound);
  EXPECT_EQ(outcomes.Of("d0.com")->attempts, 3);
  EXPECT_EQ(outcomes.Of("d1.com")->outcome, Outcome::kFound);
  EXPECT_EQ(outcomes.Of("d1.com")->attempts, 2);
  EXPECT_EQ(outcomes.Of("d2.com")->outcome, Outcome::kFailed);
  EXPECT_EQ(outcomes.Of("d2.com")->attempts, 3);
  EXPECT_EQ(outcomes.Of("d2.com")->reason, "HTTP 503");
  EXPECT_EQ(source.Calls().size(), 45u);  // 37 answered at once, 3 + 2 + 3 for the others
}

TEST(EngineStop, StopWakesWorkersWaitingOutACoolDown) {
  FakeSource source([](const std::string&, const std::string&, int) { return Refused(); });
  EngineSettings settings = Unpaced();
  settings.coolDown = 1h;
  Engine engine(source, Proxies(2), settings);
  std::thread run([&] { RunAll(engine, Domains(5)); });
  Progress progress;
  const Clock::time_point giveUp = Clock::now() + 60s;
  while ((progress = engine.Snapshot()).exitsCooling < 2 && Clock::now() < giveUp) std::this_thread::yield();
  engine.Stop(0ms);
  run.join();
  EXPECT_EQ(progress.exitsCooling, 2);
  EXPECT_TRUE(progress.nextExitBack.has_value());
  EXPECT_EQ(progress.done, 0);
}

TEST(EngineStop, HandsOnTheLookupsInFlightThatEndWithinTheGrace) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); });
  source.Hold();
  EngineSettings settings = Unpaced();
  settings.concurrency = 3;
  Engine engine(source, Proxies(3), settings);
  Outcomes outcomes;
  std::thread run([&] { outcomes = RunAll(engine, Domains(50)); });
  EXPECT_TRUE(source.AwaitStarted(3));
  engine.Stop(std::chrono::minutes(1));
  source.Release();
  run.join();
  EXPECT_EQ(outcomes.ending, Ending::kInterrupted);
  EXPECT_EQ(outcomes.records.size(), 3u);
  EXPECT_EQ(source.Calls().size(), 3u);
}

TEST(EngineStop, LeavesBehindTheLookupsInFlightPastTheGrace) {
  FakeSource source([](const std::string&, const std::string&, int) { return Found(); });
  source.Hold();
  EngineSettings settings = Unpaced();
  settings.concurrency = 2;
  std::vector<Record> records;
  std::mutex recordsMutex;
  {
    Engine engine(source, Proxies(2), settings);
    Ending ending = Ending::kCompleted;
    std::thread run([&] {
      ending = engine.Run(Domains(10), [&](const Record& record) {
        const std::lock_guard lock(recordsMutex);
        records.push_back(record);
      });
    });
    EXPECT_TRUE(source.AwaitStarted(2));
    engine.Stop(0ms);
    run.join();
    EXPECT_EQ(ending, Ending::kInterrupted);
    // The held lookups end after Run has returned; their answers are dropped.
    source.Release();
  }
  const std::lock_guard lock(recordsMutex);
  EXPECT_TRUE(records.empty());
  EXPECT_EQ(source.Calls().size(), 2u);
}

}  // namespace
}  // namespace rankora::batch
