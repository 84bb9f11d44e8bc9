// rankora-batch's command line: what a run is asked to do, read with CLI11.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "batch/forms.h"
#include "lookup/source.h"

namespace rankora::cli {

enum class OnRefusal { kDefault, kStop, kCool };

struct Options {
  std::string input;                  // a file, or "-" for standard input (UTF-8 argument)
  std::optional<std::string> output;  // none: standard output
  batch::FormKind form = batch::FormKind::kResults;
  std::optional<std::string> workbook;
  lookup::SourceSettings source;
  std::optional<std::string> proxies;
  double rate = 12;
  int concurrency = 10;
  int retries = 3;
  std::chrono::milliseconds retryPause{2000};
  std::chrono::milliseconds coolDown{15 * 60 * 1000};
  std::chrono::milliseconds longestCoolDown{60 * 60 * 1000};
  OnRefusal onRefusal = OnRefusal::kDefault;
  bool unique = false;
  bool clean = false;
  bool quiet = false;
  std::chrono::milliseconds statusEvery{10000};  // plain status lines when not on a terminal
};

// The outcome of reading the command line: options to run with, or a text
// to show and the exit status (0 for --help and --version, 64 for a usage
// error).
struct Parsed {
  std::optional<Options> options;
  std::string text;  // UTF-8; for standard output when status is 0, else standard error
  int status = 0;
};

Parsed ParseCommandLine(const std::vector<std::string>& arguments);

// "90s", "15m", "1h", "500ms", or a bare number of `unit`s; nothing when the
// text is no duration.
std::optional<std::chrono::milliseconds> ParseDuration(const std::string& text, std::chrono::milliseconds unit);

// What --version prints: the version and, for each automation class a lookup
// may use, which implementation answers on this system: "平台" (the
// platform's), "内置" (the in-house one) or "无（<code>）" (nobody's). UTF-8.
std::string VersionText();

}  // namespace rankora::cli
