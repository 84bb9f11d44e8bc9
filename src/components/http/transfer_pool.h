// Threads for asynchronous transfers, kept for the next one instead of made
// anew each time: a lookup makes one request after another. Each transfer
// gets a thread of its own while it runs; threads left idle wait for work.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace rankora::components::http {

class TransferPool {
 public:
  // The process's pool; its threads are joined when the process ends.
  static TransferPool& Get();

  void Run(std::function<void()> task);

  TransferPool(const TransferPool&) = delete;
  TransferPool& operator=(const TransferPool&) = delete;
  ~TransferPool();

 private:
  TransferPool() = default;
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::function<void()>> tasks_;
  std::vector<std::thread> workers_;
  int idle_ = 0;
  bool stopping_ = false;
};

}  // namespace rankora::components::http
