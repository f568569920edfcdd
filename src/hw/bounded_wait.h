// Bounded polling of status bits. A controller or flash that never answers
// must not hang the machine in firmware with the keyboard switched off, so
// every status wait gives up after a limit and ends the program cleanly.
#pragma once

#include <stdint.h>

namespace hw {

// The limit is elapsed time on the platform's clock, the polls' own time
// included: on a slow bus a poll can cost more than the stall between two.
struct PollBudget {
  uint64_t limit_us;  // time after which the wait gives up
  uint32_t stall_us;  // stall between polls once the fast polls are spent
  uint32_t polls;
  uint64_t started_us;  // when the first poll found the condition unmet
};

// Polls this many times back to back before stalling: a healthy controller
// answers within a few port reads, so the common case never sleeps.
constexpr uint32_t kFastPolls = 32;

// Call after a poll found the awaited condition still unmet. Returns false
// once the budget is spent; otherwise stalls when due and returns true.
bool bPollAgain(PollBudget* budget);

// Reports one line naming what was awaited and one in plain words, leaves the
// EC's flash mode and re-enables the keyboard controller where they were
// changed, and ends the program as failed.
[[noreturn]] void vGiveUpWait(const char16_t* what, const char16_t* plain);

// The plain words of a time-out, by who stopped answering.
constexpr const char16_t* kEcSilent = u"The EC stopped answering.";
constexpr const char16_t* kKbcSilent = u"The keyboard controller stopped answering.";
constexpr const char16_t* kFlashBusy = u"The flash chip stayed busy.";
constexpr const char16_t* kFlashLatch = u"The flash chip did not take the write enable.";

}  // namespace hw
