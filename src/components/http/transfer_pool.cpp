#include "components/http/transfer_pool.h"

#include <utility>

namespace rankora::components::http {

TransferPool& TransferPool::Get() {
  static TransferPool pool;
  return pool;
}

void TransferPool::Run(std::function<void()> task) {
  std::unique_lock lock(mutex_);
  tasks_.push_back(std::move(task));
  if (idle_ > 0) {
    --idle_;
    wake_.notify_one();
    return;
  }
  workers_.emplace_back([this] { Work(); });
}

TransferPool::~TransferPool() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
  }
  for (std::thread& worker : workers_) worker.join();
}

void TransferPool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    while (tasks_.empty() && !stopping_) {
      wake_.wait(lock);
    }
    if (tasks_.empty()) return;
    std::function<void()> task = std::move(tasks_.front());
    tasks_.erase(tasks_.begin());
    lock.unlock();
    task();
    lock.lock();
    ++idle_;
  }
}

}  // namespace rankora::components::http
