#include "ui/cli/batch_run.h"

#include <algorithm>

#include <atomic>

#include "batch/forms.h"
#include "batch/input.h"
#include "batch/run.h"
#include "files/memory.h"
#include "files/whole_file.h"
#include "lookup/proxy_list.h"
#include "ui/cli/console.h"
#include "ui/cli/messages.h"
#include "ui/cli/options.h"
#include "ui/cli/status.h"

namespace rankora::cli {
namespace {

constexpr char kRefusalMessage[] = "被限制了。。换IP吧";
constexpr std::size_t kProblemsShown = 20;
constexpr std::chrono::milliseconds kGrace{5000};

// The exits of a proxy list file, or the problem in words when the file
// cannot be read or is no proxy list.
struct Proxies {
  std::vector<lookup::Exit> exits;
  std::string problem;
};

Proxies ReadProxies(const std::string& argument) {
  const files::ReadResult read = files::ReadWholeFile(PathFromUtf8(argument));
  if (read.error) return {{}, "读不了代理列表 " + PathText(argument) + "：" + FileProblem(read.error) + "。"};
  lookup::ProxyList list = lookup::ReadProxyList(read.bytes);
  if (list.Empty()) return {{}, "代理列表 " + PathText(argument) + " 里没有代理。"};
  if (!list.Ok()) {
    return {{},
            "代理列表第 " + std::to_string(list.problemLine) + " 行不是 http://[用户:密码@]主机:端口：" +
                LineShown(list.badLine)};
  }
  return {std::move(list.exits), {}};
}

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
  // With proxies an exit out of reach is that exit's failure; the direct
  // connection out of reach is every domain's.
  settings.engine.stopWhenUnreachable = exits.empty();
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
  if (result.ending == batch::Ending::kStoppedUnreachable) return kUnreachable;
  if (result.ending == batch::Ending::kStoppedBySource) {
    return result.stopWhy == lookup::Why::kGone ? kSourceGone : kKeyRejected;
  }
  const batch::OutcomeCounts& tally = result.outcomes;
  if (tally.none + tally.refused + tally.failed > 0 || result.notAsked > 0) return kSomeWithoutWeight;
  return 0;
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
    Proxies proxies = ReadProxies(*options.proxies);
    if (!proxies.problem.empty()) {
      WriteError(proxies.problem + "\n");
      return kUsage;
    }
    exits = std::move(proxies.exits);
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
  batch::Run run(settings);

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
    if (!options.quiet) {
      status.emplace([&run] { return run.Snapshot(); }, ErrorIsTerminal(), options.statusEvery);
    }
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
  if (!options.quiet) WriteSummary(result, took, options.output);
  if (result.ending == batch::Ending::kInterrupted && !result.writeFailed && options.output && !options.quiet) {
    WriteError("已中断；再运行同样的命令会接着查。\n");
  }
  if (result.ending == batch::Ending::kStoppedByRefusal) {
    WriteError(std::string(kRefusalMessage) + "\n");
    if (options.output) WriteError("已完成的结果都在输出里；换 IP 后再运行同样的命令会接着查。\n");
  }
  if (result.ending == batch::Ending::kStoppedUnreachable) {
    WriteError("无法连接到爱站：" + result.stopReason + "，已停止。请检查网络或代理设置。\n");
    if (options.output) WriteError("已完成的结果都在输出里；网络恢复后再运行同样的命令会接着查。\n");
  }
  if (result.ending == batch::Ending::kStoppedBySource && result.stopWhy == lookup::Why::kGone) {
    WriteError("爱站的旧查询接口已不再应答（" + result.stopReason +
               "），已停止：请用 --source page 查今天的域名页面（窗口里：查询 → 设置 → 爱站网页）。\n");
    if (options.output) WriteError("已完成的结果都在输出里。\n");
  } else if (result.ending == batch::Ending::kStoppedBySource) {
    // Otherwise only the paid interface stops a run so, and only for its key.
    WriteError("付费接口不接受这个 key，已停止（" + result.stopReason + "）：请检查 --key 是否输错、过期或已停用。\n");
    if (options.output) WriteError("已完成的结果都在输出里；换好 key 后再运行同样的命令会接着查。\n");
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
  Options options = *parsed.options;
  if (options.source.cookie.starts_with('@')) {
    // The cookie's file; its name may be shown, never what it holds.
    const std::string path = options.source.cookie.substr(1);
    const files::ReadResult read = files::ReadWholeFile(PathFromUtf8(path));
    if (read.error) {
      WriteError("读不了 cookie 文件 " + PathText(path) + "：" + FileProblem(read.error) + "。\n");
      return kNoInput;
    }
    std::string cookie = read.bytes;
    // One header value: the file's line ends and a byte-order mark are no part of it.
    if (cookie.starts_with("\xEF\xBB\xBF")) cookie.erase(0, 3);
    std::replace_if(
        cookie.begin(), cookie.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    while (!cookie.empty() && cookie.back() == ' ') cookie.pop_back();
    while (!cookie.empty() && cookie.front() == ' ') cookie.erase(0, 1);
    options.source.cookie = std::move(cookie);
  }
  return Run(options);
}

}  // namespace rankora::cli
