#include "ui/cli/batch_run.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numeric>
#include <sstream>
#include <thread>

#include "app/memory.h"
#include "batch/engine.h"
#include "batch/input.h"
#include "batch/journal.h"
#include "text/gbk.h"
#include "ui/cli/console.h"
#include "ui/cli/options.h"
#include "ui/cli/output_forms.h"
#include "ui/cli/status.h"

namespace rankora::cli {
namespace {

constexpr char kRefusalMessage[] = "被限制了。。换IP吧";
constexpr std::size_t kProblemsShown = 20;
constexpr std::chrono::milliseconds kTerminalRedraw{500};
constexpr std::chrono::milliseconds kGrace{5000};

bool ReadFile(const std::filesystem::path& path, std::string& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return !file.bad();
}

std::string PathText(const std::string& argument) { return "“" + argument + "”"; }

// A line of the input as a message shows it (UTF-8 in and out): control
// characters as "?", so a stray CR or NUL cannot garble the terminal, and a
// long line cut, with its length.
std::string LineShown(std::string_view line) {
  constexpr std::size_t kLongest = 80;
  std::string shown;
  std::size_t at = 0;
  for (; at < line.size() && shown.size() < kLongest; ++at) {
    const auto byte = static_cast<unsigned char>(line[at]);
    shown += (byte < 0x20 || byte == 0x7F) ? '?' : line[at];
  }
  if (at == line.size()) return shown;
  // Not inside a UTF-8 character.
  while (!shown.empty() && (static_cast<unsigned char>(line[at]) & 0xC0) == 0x80) {
    shown.pop_back();
    --at;
  }
  return shown + "……（共 " + std::to_string(line.size()) + " 字节）";
}

// The exits of a proxy list: one "http://[user:password@]host:port" a line;
// empty lines and lines starting with "#" are skipped.
bool ReadProxies(const std::string& argument, std::vector<lookup::Exit>& exits, std::string& problem) {
  std::string bytes;
  if (!ReadFile(PathFromUtf8(argument), bytes)) {
    problem = "读不了代理列表 " + PathText(argument) + "。";
    return false;
  }
  std::istringstream lines(bytes);
  std::string line;
  long number = 0;
  while (std::getline(lines, line)) {
    ++number;
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    const std::optional<lookup::Exit> exit = lookup::ParseProxy(line);
    if (!exit) {
      problem = "代理列表第 " + std::to_string(number) + " 行不是 http://[用户:密码@]主机:端口：" + line;
      return false;
    }
    exits.push_back(*exit);
  }
  if (exits.empty()) {
    problem = "代理列表 " + PathText(argument) + " 里没有代理。";
    return false;
  }
  return true;
}

// Redraws one status line on a terminal, or writes a plain line now and
// then elsewhere, until stopped.
class StatusReporter {
 public:
  StatusReporter(const batch::Engine& engine, bool terminal, std::chrono::milliseconds every)
      : engine_(engine), terminal_(terminal), every_(terminal ? kTerminalRedraw : every) {
    thread_ = std::thread([this] { Report(); });
  }
  ~StatusReporter() { Stop(); }

  void Stop() {
    {
      const std::lock_guard lock(mutex_);
      if (stopped_) return;
      stopped_ = true;
    }
    changed_.notify_all();
    thread_.join();
    if (terminal_ && drawn_) WriteError("\r\x1b[K");
  }

 private:
  void Report() {
    std::unique_lock lock(mutex_);
    while (!changed_.wait_for(lock, every_, [this] { return stopped_; })) {
      const std::string line = StatusLine(engine_.Snapshot(), batch::Clock::now(), std::chrono::system_clock::now());
      WriteError(terminal_ ? "\r" + line + "\x1b[K" : line + "\n");
      drawn_ = true;
    }
  }

  const batch::Engine& engine_;
  bool terminal_;
  std::chrono::milliseconds every_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool drawn_ = false;
  std::thread thread_;
};

int Run(const Options& options) {
  // The input.
  std::string bytes;
  const bool read = options.input == "-" ? ReadStandardInput(bytes) : ReadFile(PathFromUtf8(options.input), bytes);
  if (!read) {
    WriteError("读不了输入 " + PathText(options.input) + "。\n");
    return kNoInput;
  }
  batch::Input input = batch::ReadInput(bytes, batch::InputOptions{options.unique, options.clean});
  std::string().swap(bytes);
  for (std::size_t i = 0; i < input.problems.size() && i < kProblemsShown; ++i) {
    WriteError("第 " + std::to_string(input.problems[i].line) + " 行不是域名，已跳过：" +
               LineShown(input.problems[i].text) + (options.clean ? "" : "（--clean 可整理网址）") + "\n");
  }
  if (input.problems.size() > kProblemsShown) {
    WriteError("……另有 " + std::to_string(input.problems.size() - kProblemsShown) + " 行不是域名，已跳过。\n");
  }
  // Nothing to ask is no success: the file was probably not the list meant.
  if (input.domains.empty()) {
    WriteError("输入 " + PathText(options.input) + " 里没有域名，什么也没查。\n");
    return kNoInput;
  }

  // The exits and the source.
  std::vector<lookup::Exit> exits;
  if (options.proxies) {
    std::string problem;
    if (!ReadProxies(*options.proxies, exits, problem)) {
      WriteError(problem + "\n");
      return kUsage;
    }
  }
  if (options.workbook && !CanWriteWorkbook()) {
    WriteError("这个版本写不了 Excel 工作簿：请用 --format csv，Excel 可直接打开。\n");
    return kUsage;
  }
  const std::unique_ptr<lookup::Source> source = lookup::MakeSource(options.source);
  const std::vector<std::string> columns = source->Columns();
  const std::unique_ptr<batch::RecordFormat> form = MakeForm(options.form, columns);

  // The output, resumed where it holds finished domains: each done line
  // stands for one occurrence of its domain in the input. The occurrences
  // are found through an order of the input's indices rather than a map of
  // its texts, so that a list of a million lines stays small.
  batch::OutcomeCounts tally;
  std::vector<batch::Record> kept;  // for the workbook
  std::vector<bool> done(input.domains.size());
  long resumed = 0;
  std::unique_ptr<batch::Journal> journal;
  if (options.output) {
    std::vector<std::uint32_t> order(input.domains.size());
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&input](std::uint32_t a, std::uint32_t b) { return input.domains[a] < input.domains[b]; });
    const auto onRestored = [&](batch::Record&& record) {
      tally.Count(record.outcome);
      auto first =
          std::lower_bound(order.begin(), order.end(), record.domain,
                           [&input](std::uint32_t i, const std::string& domain) { return input.domains[i] < domain; });
      for (; first != order.end() && input.domains[*first] == record.domain; ++first) {
        if (!done[*first]) {
          done[*first] = true;
          ++resumed;
          break;
        }
      }
      if (options.workbook) kept.push_back(std::move(record));
    };
    std::error_code error;
    std::string problem;
    journal = batch::Journal::Open(PathFromUtf8(*options.output), *form, error, problem, onRestored);
    if (!journal) {
      WriteError("写不了输出 " + PathText(*options.output) + "：" + (problem.empty() ? error.message() : problem) +
                 "\n");
      return kOutputFailed;
    }
  } else {
    journal = batch::Journal::OnStandardOutput(*form);
  }
  std::vector<std::string> pending;
  pending.reserve(input.domains.size() - static_cast<std::size_t>(resumed));
  for (std::size_t i = 0; i < input.domains.size(); ++i) {
    if (!done[i]) pending.push_back(std::move(input.domains[i]));
  }
  std::vector<std::string>().swap(input.domains);
  std::vector<bool>().swap(done);
  if (resumed > 0 && !options.quiet) {
    WriteError("续跑：输出里已有 " + std::to_string(resumed) + " 个完成的域名，跳过它们。\n");
  }

  batch::EngineSettings settings;
  settings.ratePerMinute = options.rate;
  settings.concurrency = FitConcurrency(options.concurrency);
  if (settings.concurrency < options.concurrency && !options.quiet) {
    WriteError("这个进程最多能同时打开的文件不够 " + std::to_string(options.concurrency) + " 个查询，改为同时 " +
               std::to_string(settings.concurrency) + " 个（可用 ulimit -n 放宽）。\n");
  }
  settings.coolDown = options.coolDown;
  settings.longestCoolDown = options.longestCoolDown;
  settings.retries = options.retries;
  settings.retryPause = options.retryPause;
  settings.stopOnRefusal =
      options.onRefusal == OnRefusal::kStop || (options.onRefusal == OnRefusal::kDefault && exits.empty());
  batch::Engine engine(*source, exits, settings);

  std::atomic<bool> interrupted{false};
  OnInterrupt([&engine, &interrupted, quiet = options.quiet] {
    interrupted = true;
    if (!quiet) WriteError("\n正在停止：不再开始新的查询，等进行中的查询结束（最多 5 秒）。再按 Ctrl-C 立即退出。\n");
    engine.Stop(kGrace);
  });

  std::atomic<bool> writeFailed{false};
  const auto started = std::chrono::steady_clock::now();
  batch::Ending ending = batch::Ending::kCompleted;
  {
    std::optional<StatusReporter> status;
    if (!options.quiet) status.emplace(engine, ErrorIsTerminal(), options.statusEvery);
    ending = engine.Run(pending, [&](const batch::Record& record) {
      if (writeFailed) return;
      if (!journal->Append(record)) {
        writeFailed = true;
        engine.Stop(std::chrono::milliseconds(0));
        return;
      }
      tally.Count(record.outcome);
      if (options.workbook) kept.push_back(record);
    });
  }
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);

  int status = 0;
  if (writeFailed) {
    WriteError("写输出失败（磁盘满了？），已停止；写好的结果都还在，修好后再运行同样的命令会接着查。\n");
    status = kOutputFailed;
  }
  if (options.workbook) {
    const std::error_code error = WriteWorkbook(PathFromUtf8(*options.workbook), columns, kept);
    if (error) {
      WriteError("写不了 Excel 工作簿 " + PathText(*options.workbook) + "：" + error.message() + "\n");
      status = kOutputFailed;
    }
  }
  const batch::Progress progress = engine.Snapshot();
  const long notAsked = static_cast<long>(pending.size()) - progress.done;
  if (!options.quiet) {
    std::string summary = "查询了 " + std::to_string(progress.done) + " 个域名";
    if (resumed > 0) summary += "（另有 " + std::to_string(resumed) + " 个上次已完成）";
    summary += "，用时 " + DurationText(took) + "。合计：有权重 " + std::to_string(tally.found) + "，无权重 " +
               std::to_string(tally.none) + "，被限制 " + std::to_string(tally.refused) + "，失败 " +
               std::to_string(tally.failed);
    if (notAsked > 0) summary += "，未查询 " + std::to_string(notAsked);
    summary += "。";
    if (options.output) summary += "结果在 " + PathText(*options.output) + "。";
    WriteError(summary + "\n");
    if (tally.failed + tally.refused > 0) {
      WriteError("失败和被限制的域名也在输出里，标着状态；再运行同样的命令会重查它们。\n");
    }
  }
  if (ending == batch::Ending::kInterrupted && !writeFailed && options.output && !options.quiet) {
    WriteError("已中断；再运行同样的命令会接着查。\n");
  }
  if (ending == batch::Ending::kStoppedByRefusal) {
    WriteError(std::string(kRefusalMessage) + "\n");
    if (options.output) WriteError("已完成的结果都在输出里；换 IP 后再运行同样的命令会接着查。\n");
  }
  if (status == 0) {
    if (interrupted || ending == batch::Ending::kInterrupted) {
      status = kInterrupted;
    } else if (ending == batch::Ending::kStoppedByRefusal) {
      status = kStoppedByRefusal;
    } else if (tally.none + tally.refused + tally.failed > 0 || notAsked > 0) {
      status = kSomeWithoutWeight;
    }
  }
  if (ending != batch::Ending::kCompleted) {
    // Lookups still waiting for their answers are not waited for: every
    // finished line is already in the output.
    ExitNow(status);
  }
  return status;
}

}  // namespace

int BatchMain(const std::vector<std::string>& arguments) {
  app::KeepFreedMemory();
  PrepareStandardStreams();
  const Parsed parsed = ParseCommandLine(arguments);
  if (!parsed.options) {
    if (parsed.status == 0) {
      // --help and --version go to standard output, as is usual.
      std::fwrite(parsed.text.data(), 1, parsed.text.size(), stdout);
      std::fflush(stdout);
    } else {
      WriteError(parsed.text);
    }
    return parsed.status;
  }
  return Run(*parsed.options);
}

}  // namespace rankora::cli
