#include "flash/operation_frame.h"

#include "hw/ports.h"
#include "tolvi.h"

void vOpenOperationFrame() {
  // The line is printed even with /k, so the screen looks the same either way.
  Print(u"Send KB Cmd 0xAD \n\n");
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcDisableKeyboard);
  if (FlashState.ChipId == ModeSelectModel)
    vSendEcCommand(FlashState.AltEnterMode == 1 ? hw::kEcPreEnterAlt : hw::kEcPreEnter);
  Print(u"Send EC Cmd 0xDC \n\n");
  vSendEcCommand(hw::kEcEnterFlashMode);
  // From here on a wait that gives up must take the EC out of flash mode.
  FlashState.EcFlashModeEntered = 1;
  // Neither /T nor /PB resets the EC: it keeps running the firmware it had.
  FlashState.EcLeaveCommand = hw::kEcLeaveNoReset;
  Print(u"Read EC Data \n\n");
  if (ucReadEcData() == EcAck)
    Print(u"EC ACK OK. \n\n");
  else
    Print(u"EC ACK Fail. \n\n");
}

void vCloseOperationFrame() {
  vLeaveEcFlashMode(false);
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcEnableKeyboard);
}
