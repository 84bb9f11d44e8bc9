// rankora-batch as its users run it: a process of its own against the
// stand-in weight service on loopback, killed, interrupted and run again.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <thread>

#include "batch/input.h"
#include "child_process.h"
#include "text/gbk.h"
#include "weight_service.h"

namespace rankora::cli {
namespace {

using testing::ChildProcess;
using testing::ReadWholeFile;
using tools::WeightServiceExits;
using tools::WeightServiceOptions;
using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text, const std::string& end = "\r\n") {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t found; (found = text.find(end, start)) != std::string::npos; start = found + end.size()) {
    lines.push_back(text.substr(start, found - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string DomainList(int count, const std::string& prefix = "site") {
  std::string text;
  for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + ".com\r\n";
  return text;
}

// Weights that differ from domain to domain, so rows can be told apart.
WeightServiceOptions VariedWeights(int count, const std::string& prefix = "site") {
  WeightServiceOptions options;
  for (int i = 0; i < count; ++i) options.weights[prefix + std::to_string(i) + ".com"] = std::to_string(i * 7 % 10);
  return options;
}

class BatchProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/rankora-batch-test-XXXXXX";
    folder_ = mkdtemp(pattern);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  std::string File(const std::string& name) const { return (folder_ / name).string(); }
  std::string Write(const std::string& name, const std::string& content) const {
    std::ofstream(folder_ / name, std::ios::binary) << content;
    return File(name);
  }
  static std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& arguments, const std::string& input = {}) {
    return std::make_unique<ChildProcess>(RANKORA_BATCH_PROGRAM, arguments, input);
  }
  // Runs to the end; the exit status, or -1 when it did not end in time.
  static int Run(const std::vector<std::string>& arguments, std::string* errors = nullptr,
                 std::string* output = nullptr, const std::string& input = {}) {
    ChildProcess child(RANKORA_BATCH_PROGRAM, arguments, input);
    const std::optional<int> status = child.Wait();
    if (errors != nullptr) *errors = child.Errors();
    if (output != nullptr) *output = child.Output();
    return status.value_or(-1);
  }
  // Waits until the file holds at least `lines` line ends.
  void WaitForLines(const std::string& path, std::size_t lines) const {
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < giveUp) {
      const std::string text = ReadWholeFile(path);
      if (static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) return;
      // The file is written by another process: there is nothing to wait on
      // but the file itself.
      std::this_thread::sleep_for(2ms);
    }
    FAIL() << path << " never reached " << lines << " lines";
  }

  std::filesystem::path folder_;
};

TEST_F(BatchProgram, WritesTheWindowsResultsFormWhichTheWindowReadsBack) {
  WeightServiceExits service(VariedWeights(6), 1);
  const std::string input = Write("in.txt", DomainList(6));
  std::string errors;
  ASSERT_EQ(
      Run({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"}, &errors),
      0)
      << errors;
  const std::string text = ReadWholeFile(File("out.txt"));
  EXPECT_EQ(text,
            "site0.com | 0\r\nsite1.com | 7\r\nsite2.com | 4\r\nsite3.com | 1\r\nsite4.com | 8\r\nsite5.com | 5\r\n");
  EXPECT_EQ(batch::ReadInput(text, {}).domains, batch::ReadInput(DomainList(6), {}).domains);
  EXPECT_NE(errors.find("有权重 6"), std::string::npos) << errors;
}

TEST_F(BatchProgram, TellsByItsExitStatusWhetherEveryDomainHasAWeight) {
  WeightServiceOptions options;
  options.noData = {"empty.com"};
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", "a.com\r\nempty.com\r\n");
  std::string output;
  EXPECT_EQ(Run({input, "--service", service.Origin(0), "--rate", "0", "--source", "page", "-q"}, nullptr, &output), 2);
  EXPECT_NE(output.find("empty.com | " + text::Gbk("无权重")), std::string::npos) << output;

  WeightServiceOptions failing;
  failing.failRate = 1;
  WeightServiceExits broken(failing, 1);
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("failed.txt"), "--service", broken.Origin(0), "--rate", "0", "--retries", "2",
                 "--retry-pause", "1ms"},
                &errors),
            2);
  EXPECT_EQ(Sorted(Lines(ReadWholeFile(File("failed.txt")))),
            (std::vector<std::string>{"a.com | " + text::Gbk("失败"), "empty.com | " + text::Gbk("失败")}));
  EXPECT_EQ(broken.Counts(0).queries, 6);  // each domain: the first try and two retries
  EXPECT_NE(errors.find("失败 2"), std::string::npos) << errors;

  EXPECT_EQ(Run({input, "--no-such-option"}, &errors), 64);
  EXPECT_NE(errors.find("--help"), std::string::npos);
  EXPECT_EQ(Run({File("missing.txt")}, &errors), 66);
  EXPECT_EQ(Run({input, "--proxies", Write("bad-proxies.txt", "socks5://1.2.3.4:1080\n")}, &errors), 64);
  EXPECT_NE(errors.find("第 1 行"), std::string::npos) << errors;
}

TEST_F(BatchProgram, StopsAtTheFirstRefusalWithoutProxiesAndResumesAfterIt) {
  WeightServiceOptions refusing = VariedWeights(10);
  refusing.refuseAfter = 3;
  WeightServiceExits service(refusing, 1);
  const std::string input = Write("in.txt", DomainList(10));
  const std::vector<std::string> arguments{input, "-o", File("out.txt"), "--rate", "0", "--concurrency", "1"};
  std::vector<std::string> first = arguments;
  first.insert(first.end(), {"--service", service.Origin(0)});
  std::string errors;
  EXPECT_EQ(Run(first, &errors), 3);
  EXPECT_NE(errors.find("被限制了。。换IP吧"), std::string::npos) << errors;
  EXPECT_EQ(Lines(ReadWholeFile(File("out.txt"))),
            (std::vector<std::string>{"site0.com | 0", "site1.com | 7", "site2.com | 4",
                                      "site3.com | " + text::Gbk("被限制")}));
  EXPECT_EQ(service.Counts(0).queries, 4);  // nothing asked after the refusal

  // A new address: the same command goes on where the last run stopped.
  WeightServiceExits fresh(VariedWeights(10), 1);
  std::vector<std::string> again = arguments;
  again.insert(again.end(), {"--service", fresh.Origin(0)});
  EXPECT_EQ(Run(again, &errors), 0) << errors;
  EXPECT_EQ(fresh.Counts(0).queries, 7);
  const std::vector<std::string> rows = Lines(ReadWholeFile(File("out.txt")));
  ASSERT_EQ(rows.size(), 10u);
  std::set<std::string> domains;
  for (const std::string& row : rows) {
    domains.insert(row.substr(0, row.find(" | ")));
    EXPECT_EQ(row.find(text::Gbk("被限制")), std::string::npos) << row;
  }
  EXPECT_EQ(domains.size(), 10u);
}

TEST_F(BatchProgram, ARefusalOnOneExitMovesItsDomainsToTheOthers) {
  WeightServiceOptions strict = VariedWeights(30);
  strict.limit = 2;
  WeightServiceExits limited(strict, 1);
  WeightServiceExits open(VariedWeights(30), 2);
  const std::string proxies =
      Write("proxies.txt", limited.Origin(0) + "\n# a comment\n\n" + open.Origin(0) + "\n" + open.Origin(1) + "\n");
  const std::string input = Write("in.txt", DomainList(30));
  std::string errors;
  ASSERT_EQ(Run({input, "-o", File("out.csv"), "--format", "csv", "--proxies", proxies, "--service",
                 "http://www.aizhan.com", "--rate", "0", "--concurrency", "3"},
                &errors),
            0)
      << errors;
  EXPECT_GE(limited.Counts(0).refused, 1);
  EXPECT_EQ(limited.Counts(0).answered, 2);
  EXPECT_EQ(limited.Counts(0).answered + open.Counts(0).answered + open.Counts(1).answered, 30);
  // Every row is found, through the exit that answered it.
  const std::vector<std::string> rows = Lines(ReadWholeFile(File("out.csv")));
  ASSERT_EQ(rows.size(), 31u);
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_NE(rows[i].find(",found,"), std::string::npos) << rows[i];
}

TEST_F(BatchProgram, KilledAtAnyMomentAndRunAgainEndsWithTheRowsOfACleanRun) {
  constexpr int kCount = 300;
  WeightServiceOptions options = VariedWeights(kCount);
  options.delay = 2ms;
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(kCount));
  auto arguments = [&](const std::string& output) {
    return std::vector<std::string>{input,    "-o", output,          "--service", service.Origin(0),
                                    "--rate", "0",  "--concurrency", "4",         "-q"};
  };
  ASSERT_EQ(Run(arguments(File("clean.txt"))), 0);
  const std::vector<std::string> clean = Sorted(Lines(ReadWholeFile(File("clean.txt"))));
  ASSERT_EQ(clean.size(), static_cast<std::size_t>(kCount));

  // Killed twice, at different points, then left to finish.
  for (const std::size_t killAt : {40u, 170u}) {
    const std::unique_ptr<ChildProcess> child = Start(arguments(File("killed.txt")));
    WaitForLines(File("killed.txt"), killAt);
    child->Signal(SIGKILL);
    EXPECT_EQ(child->Wait(), 128 + SIGKILL);
    // Whole rows, and at most a cut last one.
    const std::vector<std::string> rows = Lines(ReadWholeFile(File("killed.txt")));
    for (std::size_t i = 0; i + 1 < rows.size(); ++i) {
      EXPECT_TRUE(std::binary_search(clean.begin(), clean.end(), rows[i])) << rows[i];
    }
  }
  std::string errors;
  ASSERT_EQ(Run(arguments(File("killed.txt")), &errors), 0) << errors;
  EXPECT_EQ(Sorted(Lines(ReadWholeFile(File("killed.txt")))), clean);
}

TEST_F(BatchProgram, CtrlCLetsLookupsInFlightFinishWritesEverythingAndExitsWith130) {
  WeightServiceOptions options = VariedWeights(40);
  options.delay = 100ms;
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(40));
  const std::vector<std::string> arguments{input,    "-o", File("out.txt"), "--service", service.Origin(0),
                                           "--rate", "0",  "--concurrency", "2"};
  const std::unique_ptr<ChildProcess> child = Start(arguments);
  WaitForLines(File("out.txt"), 2);
  child->Signal(SIGINT);
  EXPECT_EQ(child->Wait(), 130);
  EXPECT_NE(child->Errors().find("正在停止"), std::string::npos) << child->Errors();
  const std::string text = ReadWholeFile(File("out.txt"));
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  const std::size_t written = Lines(text).size();
  // The lookups that were under way when Ctrl-C came were written too.
  EXPECT_EQ(static_cast<long>(written), service.Counts(0).answered);
  EXPECT_LT(written, 40u);

  std::string errors;
  ASSERT_EQ(Run(arguments, &errors), 0) << errors;
  EXPECT_EQ(Lines(ReadWholeFile(File("out.txt"))).size(), 40u);
}

TEST_F(BatchProgram, ASecondCtrlCExitsAtOnceWithTheOutputWhole) {
  WeightServiceOptions options;
  options.delay = 60s;
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(5));
  const std::unique_ptr<ChildProcess> child =
      Start({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "2"});
  const auto giveUp = std::chrono::steady_clock::now() + 30s;
  while (service.RequestCount(0) < 2 && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(2ms);
  child->Signal(SIGINT);
  std::this_thread::sleep_for(100ms);  // a user's second press comes a moment later
  child->Signal(SIGINT);
  EXPECT_EQ(child->Wait(3s), 130);
  EXPECT_EQ(ReadWholeFile(File("out.txt")), "");
}

TEST_F(BatchProgram, FillsTodaysPagePlaceholdersThroughFourExitsAndRefusesOtherPages) {
  WeightServiceOptions options = VariedWeights(8);
  options.otherDomainPage = {"wrong.com"};
  options.redirectHome = {"moved.com"};
  WeightServiceExits service(options, 4);
  ASSERT_TRUE(service.Listening());
  std::string proxies;
  for (std::size_t i = 0; i < 4; ++i) proxies += "http://" + service.Host(i) + "\n";
  const std::string input = Write("in.txt", DomainList(8) + "wrong.com\r\nmoved.com\r\n");
  const std::string cookie = Write("cookie.txt", "session=TOPSECRET42\n");
  std::string errors;
  EXPECT_EQ(Run({input,
                 "-o",
                 File("out.csv"),
                 "--format",
                 "csv",
                 "--source",
                 "page",
                 "--service",
                 "http://www.aizhan.com",
                 "--proxies",
                 Write("proxies.txt", proxies),
                 "--rate",
                 "0",
                 "--fields",
                 "traffic,backlinks,age",
                 "--cookie",
                 "@" + cookie,
                 "--cool-down",
                 "10ms",
                 "--longest-cool-down",
                 "20ms",
                 "--retries",
                 "1",
                 "--retry-pause",
                 "1ms",
                 "--journal-free-dummy"},
                &errors),
            64);  // an unknown option is refused before anything is asked
  EXPECT_EQ(service.Counts(0).queries, 0);
  const int status = Run({input,
                          "-o",
                          File("out.csv"),
                          "--format",
                          "csv",
                          "--source",
                          "page",
                          "--service",
                          "http://www.aizhan.com",
                          "--proxies",
                          File("proxies.txt"),
                          "--rate",
                          "0",
                          "--fields",
                          "traffic,backlinks,age",
                          "--cookie",
                          "@" + cookie,
                          "--on-refusal",
                          "cool",
                          "--cool-down",
                          "1ms",
                          "--longest-cool-down",
                          "2ms"},
                         &errors);
  EXPECT_NE(status, 0) << errors;
  const std::string csv = ReadWholeFile(File("out.csv"));
  const std::vector<std::string> rows = Lines(csv);
  ASSERT_GE(rows.size(), 9u) << csv << errors;
  EXPECT_EQ(rows[0],
            "\xEF\xBB\xBF"
            "domain,baidu_pc,baidu_mobile,360,sogou,bing,google,traffic_min,traffic_max,backlinks,age,status,attempts,"
            "exit,time,reason")
      << rows[0];
  EXPECT_NE(csv.find("site1.com,7,7,7,6,3,0,50000,199000,9872,18年7月12日,found"), std::string::npos) << csv;
  EXPECT_NE(csv.find("site0.com,0,0,0,0,0,0,0,1,1234,18年7月12日,found"), std::string::npos) << csv;
  for (const std::string refused : {"wrong.com", "moved.com"}) {
    for (const std::string& row : rows) {
      if (row.rfind(refused + ",", 0) == 0) {
        EXPECT_EQ(row.find(",found,"), std::string::npos) << row;
        EXPECT_EQ(row.find(",none,"), std::string::npos) << row;
      }
    }
  }
  long pages = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    pages += service.Counts(i).answered;
    EXPECT_GT(service.Counts(i).answered, 0) << "exit " << i;
  }
  EXPECT_EQ(service.Service().BadTokenCount(), 0);
  EXPECT_GE(service.Service().FillCount(), 8 * 4);
  // The cookie went with the requests and nowhere else.
  bool sent = false;
  for (std::size_t i = 0; i < 4; ++i) {
    for (const auto& request : service.Requests(i))
      sent = sent || request.Header("Cookie").find("TOPSECRET42") != std::string::npos;
  }
  EXPECT_TRUE(sent);
  EXPECT_EQ(csv.find("TOPSECRET42"), std::string::npos);
  EXPECT_EQ(errors.find("TOPSECRET42"), std::string::npos);
  (void)pages;
}

TEST_F(BatchProgram, WritesEachOutputFormSoThatItsReadersReadItBack) {
  WeightServiceOptions options;
  options.weights = {{"a.com", "5"}, {"b.com", "0"}};
  options.noData = {"c.com"};
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", "a.com\nb.com\nc.com\n");
  const std::vector<std::string> common{input,    "--service", service.Origin(0), "--source", "page",
                                        "--rate", "0",         "--concurrency",   "1",        "-q"};

  // CSV, read by Python's csv module as Excel's dialect.
  std::vector<std::string> csv = common;
  csv.insert(csv.end(), {"-o", File("out.csv"), "--format", "csv", "--xlsx", File("out.xlsx")});
  EXPECT_EQ(Run(csv), 2);
  const std::string bytes = ReadWholeFile(File("out.csv"));
  ASSERT_EQ(bytes.rfind("\xEF\xBB\xBF", 0), 0u) << "no byte-order mark";
  if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "Debian's /usr/bin/python3 is not installed";
  const std::string script =
      Write("read.py",
            "import csv, sys\n"
            "rows = list(csv.reader(open(sys.argv[1], encoding='utf-8-sig', newline='')))\n"
            "print(len(rows))\n"
            "print('|'.join(rows[0]))\n"
            "for row in rows[1:]: print(row[0], row[1], row[2], row[rows[0].index('status')])\n");
  std::string printed;
  {
    ChildProcess python("/usr/bin/python3", {script, File("out.csv")});
    ASSERT_EQ(python.Wait(), 0) << python.Errors();
    printed = python.Output();
  }
  EXPECT_EQ(printed,
            "4\n"
            "domain|baidu_pc|baidu_mobile|360|sogou|bing|google|status|attempts|exit|time|reason\n"
            "a.com 5 5 found\n"
            "b.com 0 0 found\n"
            "c.com   none\n")  // no data is an empty cell
      << printed;

  // The workbook, read by openpyxl.
  const std::string workbook = Write("read_xlsx.py",
                                     "import sys\n"
                                     "import openpyxl\n"
                                     "sheet = openpyxl.load_workbook(sys.argv[1]).active\n"
                                     "for row in sheet.iter_rows(values_only=True): print(row[0], row[1], row[7])\n");
  {
    ChildProcess python("/usr/bin/python3", {workbook, File("out.xlsx")});
    const std::optional<int> status = python.Wait();
    if (python.Errors().find("No module named 'openpyxl'") != std::string::npos) {
      GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    ASSERT_EQ(status, 0) << python.Errors();
    EXPECT_EQ(python.Output(), "domain baidu_pc status\na.com 5 found\nb.com 0 found\nc.com None none\n");
  }

  // JSON lines, read by nlohmann-json.
  std::vector<std::string> jsonl = common;
  jsonl.insert(jsonl.end(), {"-o", File("out.jsonl"), "--format", "jsonl"});
  EXPECT_EQ(Run(jsonl), 2);
  const std::vector<std::string> lines = Lines(ReadWholeFile(File("out.jsonl")), "\n");
  ASSERT_EQ(lines.size(), 3u);
  const nlohmann::json first = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(first["domain"], "a.com");
  EXPECT_EQ(first["baidu_pc"], 5);  // a whole number is a number
  EXPECT_EQ(first["status"], "found");
  EXPECT_EQ(first["attempts"], 1);
  EXPECT_EQ(nlohmann::json::parse(lines[2])["status"], "none");
}

TEST_F(BatchProgram, AsksThePaidInterfaceFiftyDomainsAtATime) {
  WeightServiceOptions options;
  options.apiKey = "K1";
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(120));
  std::string errors;
  ASSERT_EQ(Run({input, "-o", File("out.jsonl"), "--format", "jsonl", "--source", "api", "--key", "K1", "--service",
                 service.Origin(0), "--rate", "0"},
                &errors),
            0)
      << errors;
  EXPECT_EQ(service.SourceCount(tools::ServiceSource::kApi), 3);
  EXPECT_EQ(Lines(ReadWholeFile(File("out.jsonl")), "\n").size(), 120u);
}

TEST_F(BatchProgram, AKeyTheInterfaceRejectsStopsTheRunAtOnceWithItsOwnStatus) {
  WeightServiceOptions options;
  options.apiKey = "K1";
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(120));
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("out.jsonl"), "--format", "jsonl", "--source", "api", "--key", "wrong", "--service",
                 service.Origin(0), "--rate", "0", "--concurrency", "1", "--retries", "3"},
                &errors),
            4)
      << errors;
  EXPECT_NE(errors.find("付费接口不接受这个 key"), std::string::npos) << errors;
  EXPECT_NE(errors.find("100001 key错误或已过期"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("换IP"), std::string::npos) << errors;
  // One call, never retried; its domains are failed, to be asked again.
  EXPECT_EQ(service.SourceCount(tools::ServiceSource::kApi), 1);
  const std::vector<std::string> lines = Lines(ReadWholeFile(File("out.jsonl")), "\n");
  ASSERT_EQ(lines.size(), 50u);
  EXPECT_EQ(nlohmann::json::parse(lines[0])["status"], "failed");
  EXPECT_EQ(nlohmann::json::parse(lines[0])["attempts"], 1);
}

TEST_F(BatchProgram, AServiceOutOfReachStopsARunWithoutProxiesWithItsOwnStatus) {
  tools::LoopbackServer closed([](const tools::ReceivedRequest&) { return tools::Reply{}; });
  const std::string nowhere = closed.Origin();
  closed.Stop();
  const std::string input = Write("in.txt", DomainList(5));
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("out.txt"), "--service", nowhere, "--rate", "0", "--concurrency", "1", "--retries",
                 "1", "--retry-pause", "1ms"},
                &errors),
            5)
      << errors;
  EXPECT_NE(errors.find("无法连接到爱站：连不上服务器，已停止。请检查网络或代理设置。"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("换IP"), std::string::npos) << errors;
  // The domain that used up its retries is failed, to be asked again; the
  // run asked no further.
  const std::vector<std::string> lines = Lines(ReadWholeFile(File("out.txt")));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" | " + text::Gbk("失败")), std::string::npos) << lines[0];

  // Through proxies an exit out of reach is that exit's failure: the others
  // carry the run to its end.
  WeightServiceExits open(VariedWeights(5), 1);
  const std::string proxies = Write("proxies.txt", nowhere + "\n" + open.Origin(0) + "\n");
  const int status = Run({input, "-o", File("proxied.txt"), "--proxies", proxies, "--service", "http://www.aizhan.com",
                          "--rate", "0", "--concurrency", "1", "--retries", "8", "--retry-pause", "1ms"},
                         &errors);
  EXPECT_TRUE(status == 0 || status == 2) << status << errors;
  EXPECT_EQ(Lines(ReadWholeFile(File("proxied.txt"))).size(), 5u);
  EXPECT_EQ(errors.find("无法连接到爱站"), std::string::npos) << errors;
}

TEST_F(BatchProgram, AnInterfaceThatIsGoneStopsTheRunAtOnceAndNamesTodaysPage) {
  WeightServiceOptions options;
  options.legacy = tools::LegacyInterface::kNotFound;
  WeightServiceExits service(options, 2);
  const std::string input = Write("in.txt", DomainList(5));
  std::string errors;
  EXPECT_EQ(
      Run({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"}, &errors),
      6)
      << errors;
  EXPECT_NE(errors.find("爱站的旧查询接口已不再应答（HTTP 404），已停止"), std::string::npos) << errors;
  EXPECT_NE(errors.find("--source page"), std::string::npos) << errors;
  EXPECT_NE(errors.find("查询 → 设置 → 爱站网页"), std::string::npos) << errors;
  EXPECT_EQ(errors.find("换IP"), std::string::npos) << errors;
  EXPECT_EQ(service.RequestCount(0), 1u);  // never retried
  EXPECT_EQ(Lines(ReadWholeFile(File("out.txt"))).size(), 1u);

  // No exit can bring it back: through proxies too the run stops at once.
  const std::string proxies = Write("proxies.txt", service.Origin(0) + "\n" + service.Origin(1) + "\n");
  EXPECT_EQ(Run({input, "-o", File("proxied.txt"), "--proxies", proxies, "--service", "http://www.aizhan.com", "--rate",
                 "0", "--concurrency", "1"},
                &errors),
            6)
      << errors;
  EXPECT_EQ(service.RequestCount(0) + service.RequestCount(1), 2u);
}

TEST_F(BatchProgram, TooFrequentPausesTheKeyOnEveryExitAndNeverStopsTheRun) {
  WeightServiceOptions options;
  options.limit = 1;  // the key's, over both exits
  options.window = 1s;
  options.retryAfter = std::chrono::seconds(1);
  WeightServiceExits service(options, 2);
  const std::string proxies = Write("proxies.txt", service.Origin(0) + "\n" + service.Origin(1) + "\n");
  const std::string input = Write("in.txt", DomainList(150));
  std::string errors;
  ASSERT_EQ(Run({input,
                 "-o",
                 File("out.jsonl"),
                 "--format",
                 "jsonl",
                 "--source",
                 "api",
                 "--key",
                 "K",
                 "--proxies",
                 proxies,
                 "--service",
                 "http://apistore.aizhan.com",
                 "--rate",
                 "0",
                 "--concurrency",
                 "1",
                 "--cool-down",
                 "100ms",
                 "--longest-cool-down",
                 "1s"},
                &errors),
            0)
      << errors;
  // Each refusal held back both exits until the key was let in again: had
  // the other exit gone on asking, it would have been refused as well.
  EXPECT_EQ(service.Counts(0).refused + service.Counts(1).refused, 2);
  EXPECT_EQ(service.Counts(0).answered + service.Counts(1).answered, 3);
  EXPECT_EQ(Lines(ReadWholeFile(File("out.jsonl")), "\n").size(), 150u);

  // Without proxies a refusal of an exit stops the run; one of the key does not.
  WeightServiceExits direct(options, 1);
  const std::string fewer = Write("fewer.txt", DomainList(100));
  EXPECT_EQ(Run({fewer, "-o", File("direct.jsonl"), "--format", "jsonl", "--source", "api", "--key", "K", "--service",
                 direct.Origin(0), "--rate", "0", "--concurrency", "1"},
                &errors),
            0)
      << errors;
  EXPECT_EQ(direct.Counts(0).refused, 1);
}

TEST_F(BatchProgram, OtherCodesOfTheInterfaceAreRetriedThenFailedWithTheServicesMessage) {
  WeightServiceOptions once;
  once.apiError = tools::ApiError{tools::WeightService::kApiNoBalance, "余额不足", 1};
  WeightServiceExits recovering(once, 1);
  const std::string input = Write("in.txt", DomainList(60));
  const std::vector<std::string> common = {"--source",      "api", "--key",         "K",    "--rate",   "0",
                                           "--concurrency", "1",   "--retry-pause", "10ms", "--format", "jsonl"};
  std::vector<std::string> arguments = {input, "-o", File("once.jsonl"), "--service", recovering.Origin(0)};
  arguments.insert(arguments.end(), common.begin(), common.end());
  std::string errors;
  EXPECT_EQ(Run(arguments, &errors), 0) << errors;
  EXPECT_EQ(recovering.SourceCount(tools::ServiceSource::kApi), 3);  // the failed call, asked again, and the other

  WeightServiceOptions always;
  always.apiError = tools::ApiError{tools::WeightService::kApiNoBalance, "余额不足"};
  WeightServiceExits failing(always, 1);
  arguments = {input, "-o", File("always.jsonl"), "--service", failing.Origin(0), "--retries", "2"};
  arguments.insert(arguments.end(), common.begin(), common.end());
  EXPECT_EQ(Run(arguments, &errors), 2) << errors;
  EXPECT_EQ(failing.SourceCount(tools::ServiceSource::kApi), 6);  // two calls, each tried three times
  const std::vector<std::string> lines = Lines(ReadWholeFile(File("always.jsonl")), "\n");
  ASSERT_EQ(lines.size(), 60u);
  const nlohmann::json first = nlohmann::json::parse(lines[0]);
  EXPECT_EQ(first["status"], "failed");
  EXPECT_EQ(first["reason"], "100003 余额不足");
  EXPECT_EQ(first["attempts"], 3);
}

TEST_F(BatchProgram, RecordsTheDomainsTheInterfaceCouldNotLookUpAsFailedWithItsWords) {
  WeightServiceOptions options;
  options.weights = {{"a.com", "4"}};
  options.noData = {"b.com"};
  options.apiFailedMessages = {{"c.com", "该域名暂无数据"}};
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", "a.com\nb.com\nc.com\n");
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("out.jsonl"), "--format", "jsonl", "--source", "api", "--key", "K", "--service",
                 service.Origin(0), "--rate", "0", "--retries", "0"},
                &errors),
            2)
      << errors;
  std::map<std::string, nlohmann::json> rows;
  for (const std::string& line : Lines(ReadWholeFile(File("out.jsonl")), "\n")) {
    const nlohmann::json row = nlohmann::json::parse(line);
    rows[row["domain"].get<std::string>()] = row;
  }
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows["a.com"]["status"], "found");
  EXPECT_EQ(rows["b.com"]["status"], "failed");
  EXPECT_EQ(rows["b.com"]["reason"], "接口查不到该域名");
  EXPECT_EQ(rows["c.com"]["status"], "failed");
  EXPECT_EQ(rows["c.com"]["reason"], "该域名暂无数据");
}

TEST_F(BatchProgram, ReadsStandardInputAndCleansPastedAddresses) {
  WeightServiceExits service(WeightServiceOptions{}, 1);
  std::string errors, output;
  EXPECT_EQ(Run({"-", "--clean", "--unique", "--service", service.Origin(0), "--rate", "0", "--concurrency", "1"},
                &errors, &output, "HTTP://WWW.A.COM:80/path?q=1\r\n\r\nwww.a.com | 3\r\nnot a domain!\r\nb.com\r\n"),
            0)
      << errors;
  EXPECT_EQ(output, "www.a.com | 3\r\nb.com | 3\r\n");
  EXPECT_NE(errors.find("第 4 行不是域名"), std::string::npos) << errors;
}

TEST_F(BatchProgram, WritesPlainStatusLinesWhenNotOnATerminalAndNothingWhenQuiet) {
  WeightServiceOptions options;
  options.delay = 20ms;
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(20));
  std::string errors;
  EXPECT_EQ(Run({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1",
                 "--status-every", "50ms"},
                &errors),
            0);
  EXPECT_NE(errors.find("已完成 "), std::string::npos) << errors;
  EXPECT_EQ(errors.find('\r'), std::string::npos) << "a terminal's redraw where there is no terminal";
  EXPECT_NE(errors.find("查询了 20 个域名"), std::string::npos) << errors;
  EXPECT_EQ(Run({input, "-o", File("quiet.txt"), "--service", service.Origin(0), "--rate", "0", "-q"}, &errors), 0);
  EXPECT_EQ(errors, "");
}

TEST_F(BatchProgram, ReadsNotepadsUnicodeAndLinesEndedByCarriageReturnsAlone) {
  WeightServiceExits service(VariedWeights(3), 1);
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string("site0.com\rsite1.com\rsite2.com\r")) utf16 += std::string{c, '\0'};
  const std::string input = Write("in.txt", utf16);
  std::string errors, output;
  ASSERT_EQ(Run({input, "--service", service.Origin(0), "--rate", "0"}, &errors, &output), 0) << errors;
  EXPECT_EQ(Sorted(Lines(output)), (std::vector<std::string>{"site0.com | 0", "site1.com | 7", "site2.com | 4"}));
  EXPECT_EQ(errors.find('\0'), std::string::npos);
}

TEST_F(BatchProgram, AnInputWithoutAnyDomainIsNoSuccessAndItsLinesAreShownSafely) {
  // Three junk lines separated by CR alone, one of them a megabyte long.
  const std::string junk = "x y\r" + std::string(1 << 20, 'z') + " q\r\x1b[2Jboom x\r";
  const std::string input = Write("junk.txt", junk);
  std::string errors;
  EXPECT_EQ(Run({input, "--service", "http://127.0.0.1:9", "--rate", "0"}, &errors), 66);
  EXPECT_NE(errors.find("没有域名"), std::string::npos) << errors.substr(0, 500);
  EXPECT_NE(errors.find("第 3 行"), std::string::npos) << errors.substr(0, 500);
  EXPECT_NE(errors.find("1048578 字节"), std::string::npos) << errors.substr(0, 500);
  EXPECT_LT(errors.size(), 2000u);
  EXPECT_EQ(errors.find('\r'), std::string::npos);
  EXPECT_EQ(errors.find('\x1b'), std::string::npos);
  EXPECT_EQ(Run({Write("empty.txt", ""), "--rate", "0"}, &errors), 66);
}

TEST_F(BatchProgram, AFolderGivenAsAFileIsNamedNotACrash) {
  std::string errors;
  EXPECT_EQ(Run({folder_.string(), "-o", File("o.txt")}, &errors), 66);
  EXPECT_NE(errors.find(folder_.string()), std::string::npos) << errors;
  EXPECT_NE(errors.find("文件夹"), std::string::npos) << errors;
  const std::string input = Write("in.txt", DomainList(1));
  EXPECT_EQ(Run({input, "--proxies", folder_.string()}, &errors), 64);
  EXPECT_NE(errors.find("代理列表"), std::string::npos) << errors;
  EXPECT_NE(errors.find("文件夹"), std::string::npos) << errors;
}

TEST_F(BatchProgram, ASecondRunOnTheSameOutputSaysWhoHoldsItAndWritesNothing) {
  WeightServiceOptions options = VariedWeights(40);
  options.delay = 100ms;
  WeightServiceExits service(options, 1);
  const std::string input = Write("in.txt", DomainList(40));
  const std::unique_ptr<ChildProcess> first =
      Start({input, "-o", File("out.txt"), "--service", service.Origin(0), "--rate", "0", "--concurrency", "1", "-q"});
  WaitForLines(File("out.txt"), 1);
  std::filesystem::create_symlink(File("out.txt"), File("link.txt"));
  for (const std::string& output : {File("out.txt"), File("link.txt")}) {
    std::string errors;
    EXPECT_EQ(Run({input, "-o", output, "--service", service.Origin(0), "--rate", "0"}, &errors), 74);
    EXPECT_NE(errors.find("正被另一个"), std::string::npos) << errors;
    EXPECT_NE(errors.find("进程 "), std::string::npos) << errors;
  }
  ASSERT_EQ(first->Wait(), 0);
  // Every domain once: the second runs added nothing.
  EXPECT_EQ(Lines(ReadWholeFile(File("out.txt"))).size(), 40u);
}

}  // namespace
}  // namespace rankora::cli
