// The words rankora-batch uses for what it meets: paths, files it cannot
// read or write, input lines, and the summary of a run. UTF-8.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "batch/run.h"

namespace rankora::cli {

// A path as a message names it: in quotes.
std::string PathText(const std::string& argument);

// Why a file could not be read or written.
std::string FileProblem(std::error_code error);

// A line of the input as a message shows it: control characters as "?", so
// a stray CR or NUL cannot garble the terminal, and a long line cut, with
// its length.
std::string LineShown(std::string_view line);

// The run's totals on standard error, and what a rerun does.
void WriteSummary(const batch::RunResult& result, std::chrono::seconds took, const std::optional<std::string>& output);

}  // namespace rankora::cli
