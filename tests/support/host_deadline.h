// A host-time limit for a test step that could block for ever (a FIFO open,
// a modelled run that never ends): a thread calls `on_expiry` once `limit`
// passes with no Rearm() in between, then stops watching.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace simtest {

class HostDeadline {
 public:
  HostDeadline(std::chrono::seconds limit, std::function<void()> on_expiry)
      : limit_(limit), on_expiry_(std::move(on_expiry)), thread_([this] { Watch(); }) {}
  ~HostDeadline() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  HostDeadline(const HostDeadline&) = delete;
  HostDeadline& operator=(const HostDeadline&) = delete;

  // Starts the limit afresh.
  void Rearm() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++generation_;
    wake_.notify_all();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      const uint64_t generation = generation_;
      if (!wake_.wait_for(lock, limit_, [&] { return stop_ || generation_ != generation; })) {
        lock.unlock();
        on_expiry_();
        return;
      }
    }
  }

  std::chrono::seconds limit_;
  std::function<void()> on_expiry_;
  std::mutex mutex_;
  std::condition_variable wake_;
  uint64_t generation_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

}  // namespace simtest
