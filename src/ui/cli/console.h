// What rankora-batch needs of the process and its terminal, the same on
// every platform: its standard streams as bytes, messages in UTF-8 on
// standard error, whether that is a terminal, and Ctrl-C.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace rankora::cli {

// Puts the standard streams in binary mode where the platform has a text
// mode, so CR LF and GBK bytes pass unchanged.
void PrepareStandardStreams();

// The whole of standard input; false when it cannot be read.
bool ReadStandardInput(std::string& bytes);

// Writes UTF-8 text to standard error as it is (a console shows it as text).
void WriteError(std::string_view utf8);

// True when standard error is a terminal a status line can be redrawn on.
bool ErrorIsTerminal();

// A path from a UTF-8 command-line argument.
std::filesystem::path PathFromUtf8(const std::string& utf8);

// Calls `first` (from a thread of its own) at the first Ctrl-C or
// termination request; a second one ends the process at once with 130.
// Call before starting other threads.
void OnInterrupt(std::function<void()> first);

// How many lookups may be in flight at once without the process running out
// of open files (each holds a socket, and the HTTP library a few more
// descriptors): raises the process's own limit as far as the system lets
// it, then gives `wanted` or, when that does not fit, what does.
int FitConcurrency(int wanted);

// Ends the process now with `code`, running no destructors: what is written
// is already in the files.
[[noreturn]] void ExitNow(int code);

}  // namespace rankora::cli
