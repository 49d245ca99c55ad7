// Work done on a thread of its own. The object waits for the work when it ends, so no thread
// outlives its owner.
#pragma once

#include <functional>
#include <thread>

namespace cs::platform {

class Worker {
 public:
  explicit Worker(std::function<void()> work) : thread_(std::move(work)) {}
  ~Worker() { thread_.join(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

 private:
  std::thread thread_;
};

}  // namespace cs::platform
