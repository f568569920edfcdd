#include "hw/bounded_wait.h"

#include "hw/kbc_ec.h"
#include "hw/ports.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace hw {

bool bPollAgain(PollBudget* budget) {
  const uint64_t now = MonotonicMicroseconds();
  if (budget->polls == 0) {
    budget->started_us = now;
  } else if (now - budget->started_us >= budget->limit_us) {
    return false;
  }
  if (budget->polls < UINT32_MAX) budget->polls++;
  if (budget->polls > kFastPolls) Stall(budget->stall_us);
  return true;
}

void vGiveUpWait(const char16_t* what) {
  Print(u"\n\rTime-out: %s\n", what);
  if (FlashState.EcFlashModeEntered) {
    FlashState.EcFlashModeEntered = 0;
    // Close any SPI transaction left open, so the flash sees its instruction
    // end, before the EC is asked to leave flash mode.
    if (bTrySendEcCommand(kFollowEnd)) bTrySendEcCommand(FlashState.EcLeaveCommand);
  }
  if (FlashState.KbcDisabled && FlashState.SkipKbc == 0) {
    FlashState.KbcDisabled = 0;
    bTrySendKbcCommand(kKbcEnableKeyboard);
  }
  // Told only now: an interrupt during the clean-up waits for its last byte.
  vTellHardwareWindow();
  vExitProgram(1);
}

}  // namespace hw
