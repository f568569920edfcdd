// Stall on the monotonic clock. The program's short stalls (50 us) sit between
// SPI status polls and would be stretched several times over by the
// scheduler, so they spin; long ones sleep for most of the time and spin the
// rest, which still guarantees at least the time asked for.
#include <errno.h>
#include <time.h>

#include "platform/platform.h"

namespace {

// Below this, sleeping is no more precise than the wake-up latency.
constexpr uint64_t kSpinOnlyNs = 2000000;
// Woken this early from a sleep, to spin out the remainder exactly.
constexpr uint64_t kWakeEarlyNs = 500000;

uint64_t NowNs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace

uint64_t MonotonicMicroseconds() { return NowNs() / 1000; }

void Stall(uint64_t microseconds) {
  const uint64_t start = NowNs();
  const uint64_t wait = microseconds > UINT64_MAX / 1000 ? UINT64_MAX / 2 : microseconds * 1000;
  const uint64_t deadline = start + wait;
  if (wait >= kSpinOnlyNs) {
    const uint64_t wake = deadline - kWakeEarlyNs;
    timespec at;
    at.tv_sec = static_cast<time_t>(wake / 1000000000u);
    at.tv_nsec = static_cast<long>(wake % 1000000000u);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }
  while (NowNs() < deadline) {
  }
}
