#include "ui/cli/batch_run.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "batch/forms.h"
#include "batch/input.h"
#include "batch/run.h"
#include "files/memory.h"
#include "files/whole_file.h"
#include "lookup/proxy_list.h"
#include "ui/cli/console.h"
#include "ui/cli/options.h"
#include "ui/cli/status.h"

namespace rankora::cli {
namespace {

constexpr char kRefusalMessage[] = "被限制了。。换IP吧";
constexpr std::size_t kProblemsShown = 20;
constexpr std::chrono::milliseconds kTerminalRedraw{500};
constexpr std::chrono::milliseconds kGrace{5000};

std::string PathText(const std::string& argument) { return "“" + argument + "”"; }

// Why a file could not be read or written, in words.
std::string FileProblem(std::error_code error) {
  const std::error_condition reason = error.default_error_condition();
  if (reason == std::errc::is_a_directory) return "这是文件夹，不是文件";
  if (reason == std::errc::no_such_file_or_directory || reason == std::errc::not_a_directory)
    return "文件或文件夹不存在";
  if (reason == std::errc::permission_denied || reason == std::errc::operation_not_permitted) return "没有权限";
  if (reason == std::errc::no_space_on_device) return "磁盘已满";
  if (reason == std::errc::read_only_file_system) return "磁盘是只读的";
  if (reason == std::errc::filename_too_long) return "文件名太长";
  if (reason == std::errc::device_or_resource_busy || reason == std::errc::text_file_busy)
    return "文件正被其他程序使用";
  return "错误 " + std::to_string(error.value()) + "（" + error.message() + "）";
}

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

// The exits of a proxy list file; false with the problem in words when the
// file cannot be read or is no proxy list.
bool ReadProxies(const std::string& argument, std::vector<lookup::Exit>& exits, std::string& problem) {
  const files::ReadResult read = files::ReadWholeFile(PathFromUtf8(argument));
  if (read.error) {
    problem = "读不了代理列表 " + PathText(argument) + "：" + FileProblem(read.error) + "。";
    return false;
  }
  lookup::ProxyList list = lookup::ReadProxyList(read.bytes);
  if (list.Empty()) {
    problem = "代理列表 " + PathText(argument) + " 里没有代理。";
    return false;
  }
  if (!list.Ok()) {
    problem =
        "代理列表第 " + std::to_string(list.problemLine) + " 行不是 http://[用户:密码@]主机:端口：" + list.badLine;
    return false;
  }
  exits = std::move(list.exits);
  return true;
}

// Redraws one status line on a terminal, or writes a plain line now and
// then elsewhere, until stopped.
class StatusReporter {
 public:
  StatusReporter(const batch::Run& run, bool terminal, std::chrono::milliseconds every)

      : run_(run), terminal_(terminal), every_(terminal ? kTerminalRedraw : every) {
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
      const std::string line = StatusLine(run_.Snapshot(), batch::Clock::now(), std::chrono::system_clock::now());
      WriteError(terminal_ ? "\r" + line + "\x1b[K" : line + "\n");
      drawn_ = true;
    }
  }

  const batch::Run& run_;
  bool terminal_;
  std::chrono::milliseconds every_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopped_ = false;
  bool drawn_ = false;
  std::thread thread_;
};

batch::RunSettings Settings(const Options& options, std::vector<lookup::Exit> exits) {
  batch::RunSettings settings;
  settings.source = options.source;
  settings.engine.ratePerMinute = options.rate;
  settings.engine.concurrency = options.concurrency;
  settings.engine.coolDown = options.coolDown;
  settings.engine.longestCoolDown = options.longestCoolDown;
  settings.engine.retries = options.retries;
  settings.engine.retryPause = options.retryPause;
  settings.engine.stopOnRefusal =
      options.onRefusal == OnRefusal::kStop || (options.onRefusal == OnRefusal::kDefault && exits.empty());
  settings.exits = std::move(exits);
  settings.form = options.form;
  if (options.output) settings.output = PathFromUtf8(*options.output);
  if (options.workbook) settings.workbook = PathFromUtf8(*options.workbook);
  return settings;
}

// The exit status of a run that wrote everything it had to.
int Status(const batch::RunResult& result, bool interrupted) {
  if (interrupted || result.ending == batch::Ending::kInterrupted) return kInterrupted;
  if (result.ending == batch::Ending::kStoppedByRefusal) return kStoppedByRefusal;
  const batch::OutcomeCounts& tally = result.outcomes;
  if (tally.none + tally.refused + tally.failed > 0 || result.notAsked > 0) return kSomeWithoutWeight;
  return 0;
}

void WriteSummary(const Options& options, const batch::RunResult& result, std::chrono::seconds took) {
  const batch::OutcomeCounts& tally = result.outcomes;
  std::string summary = "查询了 " + std::to_string(result.asked) + " 个域名";
  if (result.resumed > 0) summary += "（另有 " + std::to_string(result.resumed) + " 个上次已完成）";
  summary += "，用时 " + DurationText(took) + "。合计：有权重 " + std::to_string(tally.found) + "，无权重 " +
             std::to_string(tally.none) + "，被限制 " + std::to_string(tally.refused) + "，失败 " +
             std::to_string(tally.failed);
  if (result.notAsked > 0) summary += "，未查询 " + std::to_string(result.notAsked);
  summary += "。";
  if (options.output) summary += "结果在 " + PathText(*options.output) + "。";
  WriteError(summary + "\n");
  if (tally.failed + tally.refused > 0) {
    WriteError("失败和被限制的域名也在输出里，标着状态；再运行同样的命令会重查它们。\n");
  }
}

int Run(const Options& options) {
  // The input.
  std::string bytes;
  if (options.input == "-") {
    if (!ReadStandardInput(bytes)) {
      WriteError("读不了标准输入。\n");
      return kNoInput;
    }
  } else {
    files::ReadResult read = files::ReadWholeFile(PathFromUtf8(options.input));
    if (read.error) {
      WriteError("读不了输入 " + PathText(options.input) + "：" + FileProblem(read.error) + "。\n");
      return kNoInput;
    }
    bytes = std::move(read.bytes);
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
  if (options.workbook && !batch::CanWriteWorkbook()) {
    WriteError("这个版本写不了 Excel 工作簿：请用 --format csv，Excel 可直接打开。\n");
    return kUsage;
  }
  batch::RunSettings settings = Settings(options, std::move(exits));
  settings.engine.concurrency = FitConcurrency(options.concurrency);
  if (settings.engine.concurrency < options.concurrency && !options.quiet) {
    WriteError("这个进程能同时打开的文件不够 " + std::to_string(options.concurrency) + " 个查询，改为同时 " +
               std::to_string(settings.engine.concurrency) + " 个（可用 ulimit -n 放宽）。\n");
  }
  batch::Run run(std::move(settings));

  // The output, resumed where it holds finished domains.
  const batch::Opening opening = run.Open(std::move(input.domains));
  if (!opening.opened) {
    if (opening.error == std::errc::device_or_resource_busy) {
      WriteError("输出 " + PathText(*options.output) + " 正被另一个 rankora-batch 或 Rankora 窗口使用" +
                 (opening.holder > 0 ? "（进程 " + std::to_string(opening.holder) + "）" : std::string()) +
                 "：两个查询写同一个输出会把每个域名查两遍。等它结束，或换一个输出文件。\n");
      return kOutputFailed;
    }
    WriteError("写不了输出 " + PathText(*options.output) + "：" +
               (opening.problem.empty() ? FileProblem(opening.error) : opening.problem) + "\n");
    return kOutputFailed;
  }
  if (opening.resumed > 0 && !options.quiet) {
    WriteError("续跑：输出里已有 " + std::to_string(opening.resumed) + " 个完成的域名，跳过它们。\n");
  }

  std::atomic<bool> interrupted{false};
  OnInterrupt([&run, &interrupted, quiet = options.quiet] {
    interrupted = true;
    if (!quiet) WriteError("\n正在停止：不再开始新的查询，等进行中的查询结束（最多 5 秒）。再按 Ctrl-C 立即退出。\n");
    run.Stop(kGrace);
  });

  const auto started = std::chrono::steady_clock::now();
  batch::RunResult result;
  {
    std::optional<StatusReporter> status;
    if (!options.quiet) status.emplace(run, ErrorIsTerminal(), options.statusEvery);
    result = run.Execute();
  }
  const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);

  int status = 0;
  if (result.writeFailed) {
    WriteError("写输出失败（磁盘满了？），已停止；写好的结果都还在，修好后再运行同样的命令会接着查。\n");
    status = kOutputFailed;
  }
  if (result.workbookError) {
    WriteError("写不了 Excel 工作簿 " + PathText(*options.workbook) + "：" + result.workbookError.message() + "\n");
    status = kOutputFailed;
  }
  if (!options.quiet) WriteSummary(options, result, took);
  if (result.ending == batch::Ending::kInterrupted && !result.writeFailed && options.output && !options.quiet) {
    WriteError("已中断；再运行同样的命令会接着查。\n");
  }
  if (result.ending == batch::Ending::kStoppedByRefusal) {
    WriteError(std::string(kRefusalMessage) + "\n");
    if (options.output) WriteError("已完成的结果都在输出里；换 IP 后再运行同样的命令会接着查。\n");
  }
  if (status == 0) status = Status(result, interrupted);
  if (result.ending != batch::Ending::kCompleted) {
    // Lookups still waiting for their answers are not waited for: every
    // finished line is already in the output.
    ExitNow(status);
  }
  return status;
}

}  // namespace

int BatchMain(const std::vector<std::string>& arguments) {
  files::KeepFreedMemory();
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
