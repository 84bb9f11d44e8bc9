// A program run by a test as a process of its own: its standard input from
// a text, its standard output and error kept in files, and signals sent to it
// as a user or the system would (on Windows only SIGKILL, which terminates
// it).
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rankora::testing {

class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // The exit status, or 128 + the signal that ended it; waits at most
  // `limit`, then kills it and gives nothing.
  std::optional<int> Wait(std::chrono::milliseconds limit = std::chrono::minutes(2));
  void Signal(int signal);
  std::string Output() const;
  std::string Errors() const;

 private:
  struct Running;  // the platform's handle of the process
  std::filesystem::path folder_;
  std::unique_ptr<Running> running_;
  std::optional<int> status_;
};

// The whole content of a file, or empty.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace rankora::testing
