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

void vGiveUpWait(const char16_t* what, const char16_t* plain) {
  Print(u"\n\rTime-out: %s\n", what);
  Print(u"%s\n", plain);
  if (FlashState.EcFlashModeEntered) {
    // Close any SPI transaction left open, so the flash sees its instruction
    // end, before the EC is asked to leave flash mode. The flag stays set
    // when the leave byte could not be written: the EC may still be in flash
    // mode, and the exit status says so.
    if (bTrySendEcCommand(kFollowEnd) && bTrySendEcCommand(ucFrameLeaveCommand()))
      FlashState.EcFlashModeEntered = 0;
  }
  if (FlashState.KbcDisabled && FlashState.SkipKbc == 0) {
    FlashState.KbcDisabled = 0;
    bTrySendKbcCommand(kKbcEnableKeyboard);
  }
  // Told only now: an interrupt during the clean-up waits for its last byte.
  vTellHardwareWindow();
  vExitProgram(kExitNotChanged);
}

}  // namespace hw
