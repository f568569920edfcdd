#include "flash/operation_frame.h"

#include "tolvi.h"

namespace {
constexpr uint8_t kKbcDisable = 0xAD;
constexpr uint8_t kKbcEnable = 0xAE;
constexpr uint8_t kEcPreEnter = 0xDD;
constexpr uint8_t kEcPreEnterAlt = 0xDE;
constexpr uint8_t kEcEnterFlashMode = 0xDC;
// Neither /T nor /PB resets the EC: it keeps running the firmware it had.
constexpr uint8_t kEcLeaveNoReset = 0xFC;
}  // namespace

void vOpenOperationFrame() {
  // The line is printed even with /k, so the screen looks the same either way.
  Print(u"Send KB Cmd 0xAD \n\n");
  if (FlashState.SkipKbc == 0) vSendKbcCommand(kKbcDisable);
  if (FlashState.ChipId == ModeSelectModel)
    vSendEcCommand(FlashState.AltEnterMode == 1 ? kEcPreEnterAlt : kEcPreEnter);
  Print(u"Send EC Cmd 0xDC \n\n");
  vSendEcCommand(kEcEnterFlashMode);
  // From here on a wait that gives up must take the EC out of flash mode.
  FlashState.EcFlashModeEntered = 1;
  FlashState.EcLeaveCommand = kEcLeaveNoReset;
  Print(u"Read EC Data \n\n");
  if (ucReadEcData() == EcAck)
    Print(u"EC ACK OK. \n\n");
  else
    Print(u"EC ACK Fail. \n\n");
}

void vCloseOperationFrame() {
  vSendEcCommand(kEcLeaveNoReset);
  FlashState.EcFlashModeEntered = 0;
  if (FlashState.SkipKbc == 0) vSendKbcCommand(kKbcEnable);
}
