#include "ui/cli/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>
#include <string_view>

#include "lookup/page_source.h"

namespace rankora::cli {
namespace {

constexpr int kUsageError = 64;
constexpr double kHighestRate = 1000000;  // lookups a minute through one exit
constexpr std::chrono::milliseconds kShortestStatusEvery{10};

bool IsDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What is wrong with a --service address, or nothing: an http or https
// scheme, a host, and a port from 1 to 65535 when one is given; no path.
std::optional<std::string> ServiceProblem(std::string_view service) {
  const std::size_t colon = service.find("://");
  if (colon == std::string_view::npos) return "要写成 scheme://主机[:端口]，如 http://127.0.0.1:8080";
  std::string scheme(service.substr(0, colon));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  if (scheme != "http" && scheme != "https") return "只能是 http:// 或 https:// 开头";
  std::string_view authority = service.substr(colon + 3);
  if (authority.ends_with('/')) authority.remove_suffix(1);
  if (authority.find_first_of("/?#@ ") != std::string_view::npos) return "只能有主机和端口，不能有路径";
  std::string_view host = authority;
  if (const std::size_t bracket = authority.rfind(']');
      authority.starts_with('[') && bracket != std::string_view::npos) {
    host = authority.substr(0, bracket + 1);
    authority.remove_prefix(bracket + 1);
  } else {
    const std::size_t portColon = authority.rfind(':');
    host = authority.substr(0, portColon);
    authority.remove_prefix(portColon == std::string_view::npos ? authority.size() : portColon);
  }
  if (host.empty() || host == "[]") return "没有主机";
  if (!authority.empty()) {
    const std::string_view port = authority.substr(1);
    if (!IsDigits(port) || port.size() > 5 || std::stol(std::string(port)) < 1 ||
        std::stol(std::string(port)) > 65535) {
      return "端口要在 1 到 65535 之间";
    }
  }
  return std::nullopt;
}

constexpr char kExamples[] =
    "\n示例：\n"
    "  rankora-batch domains.txt -o weights.txt\n"
    "      逐个查询 domains.txt 里的域名（窗口的查询方式），结果写成“域名 | 权重”，\n"
    "      窗口可读回；中断后用同样的命令再运行，会跳过已完成的域名接着查。\n"
    "  rankora-batch urls.txt --clean --unique --source page --format csv -o weights.csv\n"
    "      整理粘贴来的网址，去重，读爱站域名页的各搜索引擎权重，写 Excel 可直接打开的 CSV。\n"
    "  rankora-batch domains.txt --proxies proxies.txt --rate 6 --concurrency 20 -o out.txt\n"
    "      经 proxies.txt 里的每个代理（一行一个 http://[用户:密码@]主机:端口）各自每分钟 6 次；\n"
    "      被限制的代理冷却 15 分钟（再被限制加倍，最多 1 小时），它的域名交给别的代理。\n"
    "  type domains.txt | rankora-batch - --source api --key KEY --format jsonl\n"
    "      用爱站付费接口（每次 50 个域名）从标准输入读域名，结果写到标准输出。\n"
    "\n"
    "退出状态：0 每个域名都有权重；2 有域名失败或没有权重；3 被限制而停止；\n"
    "          4 付费接口不接受 key 而停止；5 不用代理时连不上爱站而停止；\n"
    "          6 旧查询接口已不再应答而停止；130 被 Ctrl-C 中断；64 用法错误；\n"
    "          66 读不了输入；74 写不了输出。\n";

// CLI11 reports through exceptions; they end here.
Parsed Parse(const std::vector<std::string>& arguments) {
  Options options;
  CLI::App app{"rankora-batch：批量查询域名的爱站权重，可续跑、可走多个代理出口。", "rankora-batch"};
  app.footer(kExamples);
  app.set_help_flag("-h,--help", "显示本帮助并退出");
  app.set_version_flag("--version", VersionText, "显示版本并退出");
  app.get_formatter()->column_width(34);

  app.add_option("input", options.input, "域名列表文件，一行一个（“域名 | 权重”的结果文件也行）；- 为标准输入")
      ->type_name("FILE|-")
      ->required();
  std::string output;
  app.add_option("-o,--output", output, "输出文件（默认标准输出）；已有的输出会被续跑：跳过已完成的域名")
      ->type_name("FILE");
  std::string form = "results";
  const std::map<std::string, batch::FormKind> forms{
      {"results", batch::FormKind::kResults}, {"csv", batch::FormKind::kCsv}, {"jsonl", batch::FormKind::kJsonl}};
  app.add_option("--format", form, "输出格式：results（域名 | 权重，GBK，窗口可读回）、csv、jsonl")
      ->type_name("FORM")
      ->check(CLI::IsMember({"results", "csv", "jsonl"}))
      ->capture_default_str();
  std::string workbook;
  app.add_option("--xlsx", workbook, "结束时另写一个 Excel 工作簿")->type_name("FILE");
  std::string source = "legacy";
  const std::map<std::string, lookup::SourceKind> sources{
      {"legacy", lookup::SourceKind::kLegacy}, {"page", lookup::SourceKind::kPage}, {"api", lookup::SourceKind::kApi}};
  app.add_option("--source", source, "查询方式：legacy（窗口的查询）、page（爱站域名页）、api（付费接口）")
      ->type_name("SOURCE")
      ->check(CLI::IsMember({"legacy", "page", "api"}))
      ->capture_default_str();
  app.add_option("--key", options.source.key, "付费接口的 key（--source api 时必填）")->type_name("KEY");
  app.add_option("--service", options.source.service, "用这个 scheme://主机[:端口] 代替服务的地址（镜像、测试）")
      ->type_name("URL");
  std::string fields;
  app.add_option("--fields", fields,
                 "--source page 时另加的列，逗号分隔：traffic（百度来路的两个数）、backlinks（反链）、age（域名年龄）")
      ->type_name("LIST");
  app.add_option("--user-agent", options.source.userAgent,
                 "--source page 时请求用的 User-Agent（默认：当前桌面浏览器的）")
      ->type_name("TEXT");
  app.add_option("--cookie", options.source.cookie,
                 "--source page 时随请求发送的 cookie（如登录后的），或 @文件 从文件读；不会出现在任何输出里")
      ->type_name("TEXT|@FILE");
  std::string proxies;
  app.add_option("--proxies", proxies, "代理列表文件，一行一个 http://[用户:密码@]主机:端口，每个代理是一个出口")
      ->type_name("FILE");
  app.add_option("--rate", options.rate, "每个出口每分钟查询几次（带少许随机抖动）；0 为不限")
      ->type_name("N")
      ->capture_default_str();
  app.add_option("--concurrency", options.concurrency, "同时进行的查询数（所有出口合计）")
      ->type_name("N")
      ->check(CLI::Range(1, 1000))
      ->capture_default_str();
  app.add_option("--retries", options.retries, "超时、断线、5xx 时重试几次")
      ->type_name("N")
      ->check(CLI::Range(0, 100))
      ->capture_default_str();
  std::string timeout = "100s", retryPause = "2s", coolDown = "15m", longestCoolDown = "1h", statusEvery = "10s";
  app.add_option("--timeout", timeout, "等一个应答最多多久（如 30s）")->type_name("TIME")->capture_default_str();
  app.add_option("--retry-pause", retryPause, "第一次重试前等多久，之后每次加倍")
      ->type_name("TIME")
      ->capture_default_str();
  app.add_option("--cool-down", coolDown, "出口被限制后第一次冷却多久，再被限制加倍")
      ->type_name("TIME")
      ->capture_default_str();
  app.add_option("--longest-cool-down", longestCoolDown, "冷却最长多久")->type_name("TIME")->capture_default_str();
  std::string onRefusal;
  app.add_option("--on-refusal", onRefusal,
                 "被限制时：stop 停止（没有代理时的默认，同窗口），cool 冷却该出口并换出口（有代理时的默认）")
      ->type_name("MODE")
      ->check(CLI::IsMember({"stop", "cool"}));
  app.add_flag("--unique", options.unique, "相同的域名只查第一个");
  app.add_flag("--clean", options.clean, "去掉网址的协议、路径、端口和空白，并转成小写");
  app.add_flag("-q,--quiet", options.quiet, "不显示进度和总结");
  app.add_option("--status-every", statusEvery, "不在终端上时，每隔多久写一行进度")
      ->type_name("TIME")
      ->capture_default_str();

  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    std::ostringstream out, err;
    const int status = app.exit(error, out, err);
    if (status == 0) return Parsed{std::nullopt, out.str(), 0};
    return Parsed{std::nullopt, err.str() + "用 --help 查看用法。\n", kUsageError};
  }

  auto usage = [](const std::string& text) {
    return Parsed{std::nullopt, text + "\n用 --help 查看用法。\n", kUsageError};
  };
  if (!output.empty()) options.output = output;
  if (!workbook.empty()) options.workbook = workbook;
  if (!proxies.empty()) options.proxies = proxies;
  options.form = forms.at(form);
  options.source.kind = sources.at(source);
  if (options.source.kind == lookup::SourceKind::kApi && options.source.key.empty()) {
    return usage("--source api 需要 --key。");
  }
  for (std::size_t start = 0; start < fields.size();) {
    const std::size_t comma = std::min(fields.find(',', start), fields.size());
    std::string field = fields.substr(start, comma - start);
    field.erase(0, field.find_first_not_of(' '));
    field.erase(field.find_last_not_of(' ') + 1);
    start = comma + 1;
    if (field.empty()) continue;
    if (!lookup::IsPageField(field)) return usage("--fields 只能列 traffic、backlinks、age：" + field + " 不认识。");
    if (std::find(options.source.pageFields.begin(), options.source.pageFields.end(), field) ==
        options.source.pageFields.end()) {
      options.source.pageFields.push_back(field);
    }
  }
  if (!options.source.pageFields.empty() && options.source.kind != lookup::SourceKind::kPage) {
    return usage("--fields 只用于 --source page。");
  }
  if (!options.source.service.empty()) {
    if (const std::optional<std::string> problem = ServiceProblem(options.source.service)) {
      return usage("--service " + options.source.service + " 不能用：" + *problem + "。");
    }
  }
  // NaN passes every comparison's "not below" test, so the range is asked
  // the other way round.
  if (!(options.rate >= 0 && options.rate <= kHighestRate)) {
    return usage("--rate 要是 0 到 1,000,000 之间的数（每个出口每分钟的查询数，0 为不限）。");
  }
  if (onRefusal == "stop") options.onRefusal = OnRefusal::kStop;
  if (onRefusal == "cool") options.onRefusal = OnRefusal::kCool;
  struct DurationOption {
    const char* name;
    const std::string& text;
    std::chrono::milliseconds unit;
    std::chrono::milliseconds* target;
  };
  std::chrono::milliseconds timeoutValue{0};
  const DurationOption durations[] = {
      {"--timeout", timeout, std::chrono::seconds(1), &timeoutValue},
      {"--retry-pause", retryPause, std::chrono::seconds(1), &options.retryPause},
      {"--cool-down", coolDown, std::chrono::minutes(1), &options.coolDown},
      {"--longest-cool-down", longestCoolDown, std::chrono::minutes(1), &options.longestCoolDown},
      {"--status-every", statusEvery, std::chrono::seconds(1), &options.statusEvery},
  };
  for (const DurationOption& duration : durations) {
    const std::optional<std::chrono::milliseconds> value = ParseDuration(duration.text, duration.unit);
    if (!value)
      return usage(std::string(duration.name) + " 不是一段时间：" + duration.text + "（如 500ms、30s、15m、1h）");
    *duration.target = *value;
  }
  if (options.statusEvery < kShortestStatusEvery) {
    return usage("--status-every 至少要 10ms（如 10s、1m）。");
  }
  options.source.timeout = std::max(std::chrono::seconds(1), std::chrono::ceil<std::chrono::seconds>(timeoutValue));
  if (options.longestCoolDown < options.coolDown) options.longestCoolDown = options.coolDown;
  return Parsed{std::move(options), {}, 0};
}

}  // namespace

std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text, std::chrono::milliseconds unit) {
  std::size_t end = 0;
  double number = 0;
  try {
    number = std::stod(text, &end);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (!std::isfinite(number) || number < 0) return std::nullopt;
  const std::string suffix = text.substr(end);
  static const std::map<std::string, std::chrono::milliseconds> units{{"ms", std::chrono::milliseconds(1)},
                                                                      {"s", std::chrono::seconds(1)},
                                                                      {"m", std::chrono::minutes(1)},
                                                                      {"min", std::chrono::minutes(1)},
                                                                      {"h", std::chrono::hours(1)}};
  std::chrono::milliseconds scale = unit;
  if (!suffix.empty()) {
    const auto found = units.find(suffix);
    if (found == units.end()) return std::nullopt;
    scale = found->second;
  }
  const double milliseconds = number * static_cast<double>(scale.count());
  if (milliseconds > 1e12) return std::nullopt;
  return std::chrono::milliseconds(static_cast<long long>(std::llround(milliseconds)));
}

Parsed ParseCommandLine(const std::vector<std::string>& arguments) {
  try {
    return Parse(arguments);
  } catch (const std::exception& error) {
    return Parsed{std::nullopt, std::string(error.what()) + "\n", kUsageError};
  }
}

}  // namespace rankora::cli
