// The local clock and the sleep of the run.
#pragma once

#include <cstdint>

namespace cs::platform {

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

class SystemClock : public Clock {
 public:
  LocalTime Now() override;
  void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace cs::platform
