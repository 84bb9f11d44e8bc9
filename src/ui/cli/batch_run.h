// rankora-batch from its command line to its exit status: reads the input,
// resumes the output, runs the engine with a status line and Ctrl-C handling,
// writes the workbook and the summary.
#pragma once

#include <string>
#include <vector>

namespace rankora::cli {

// Exit statuses beyond 0 (every domain has a weight).
inline constexpr int kSomeWithoutWeight = 2;  // some failed, were refused, or had no weight
inline constexpr int kStoppedByRefusal = 3;
inline constexpr int kKeyRejected = 4;  // the paid interface rejects the key (or there is none)
inline constexpr int kUnreachable = 5;  // without proxies: the service could not be reached
inline constexpr int kSourceGone = 6;   // the window's old interface no longer answers
inline constexpr int kUsage = 64;
inline constexpr int kNoInput = 66;
inline constexpr int kOutputFailed = 74;
inline constexpr int kInterrupted = 130;

// The arguments without the program's name, UTF-8.
int BatchMain(const std::vector<std::string>& arguments);

}  // namespace rankora::cli
