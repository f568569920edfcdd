#include "flash/operation_frame.h"

#include "hw/ports.h"
#include "tolvi.h"

void vOpenOperationFrame() {
  // The line is printed even with /k, so the screen looks the same either way.
  Print(u"Send KB Cmd 0xAD \n\n");
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcDisableKeyboard);
  if (FlashState.ChipId == ModeSelectModel)
    vSendEcCommand(FlashState.AltEnterMode == 1 ? hw::kEcPreEnterAlt : hw::kEcPreEnter);
  // Neither /T nor /PB resets the EC: it keeps running the firmware it had.
  // Set before 0xDC, so a wait that gives up leaves flash mode the same way.
  FlashState.EcLeaveCommand = hw::kEcLeaveNoReset;
  Print(u"Send EC Cmd 0xDC \n\n");
  vSendEcCommand(hw::kEcEnterFlashMode);
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
