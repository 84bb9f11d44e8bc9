#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <thread>

#include "ui/cli/console.h"

namespace rankora::cli {

void PrepareStandardStreams() {
  // A closed pipe on standard output shows as a failed write, not a death.
  std::signal(SIGPIPE, SIG_IGN);
}

bool ReadStandardInput(std::string& bytes) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
}

void WriteError(std::string_view utf8) {
  while (!utf8.empty()) {
    const ssize_t wrote = write(STDERR_FILENO, utf8.data(), utf8.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    utf8.remove_prefix(static_cast<std::size_t>(wrote));
  }
}

bool ErrorIsTerminal() { return isatty(STDERR_FILENO) == 1; }

std::filesystem::path PathFromUtf8(const std::string& utf8) { return std::filesystem::path(utf8); }

void OnInterrupt(std::function<void()> first) {
  // The signals are taken by one thread that waits for them, so nothing runs
  // inside a signal handler; every thread started later inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([signals, first = std::move(first)] {
    int received = 0;
    sigwait(&signals, &received);
    first();
    sigwait(&signals, &received);
    // Every line is written with one write, so the output is whole here.
    _exit(130);
  }).detach();
}

int FitConcurrency(int wanted) {
  // Descriptors a lookup may hold (its socket, the resolver's pair, a
  // connection being replaced) and those the process keeps for itself.
  constexpr rlim_t kPerLookup = 4;
  constexpr rlim_t kReserved = 64;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t needed = kReserved + kPerLookup * static_cast<rlim_t>(wanted);
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return wanted;
  if (limit.rlim_cur <= kReserved + kPerLookup) return 1;
  return static_cast<int>((limit.rlim_cur - kReserved) / kPerLookup);
}

void ExitNow(int code) { _exit(code); }

}  // namespace rankora::cli
