#include "flash/operation_frame.h"

#include "hw/ports.h"
#include "tolvi.h"

bool bOpenOperationFrame(const FrameStyle& style) {
  // Set before 0xDC, so a wait that gives up leaves flash mode the same way.
  FlashState.EcLeaveCommand =
      style.reset_allowed && FlashState.NoReset == 0 ? hw::kEcLeaveAndReset : hw::kEcLeaveNoReset;
  if (style.keyboard_off) {
    if (style.keyboard_line_always || FlashState.SkipKbc == 0) Print(u"Send KB Cmd 0xAD \n\n");
    if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcDisableKeyboard);
  }
  if (style.show_steps && style.announce_first) Print(u"Send EC Cmd 0xDC \n\n");
  if (FlashState.ChipId == ModeSelectModel)
    vSendEcCommand(FlashState.AltEnterMode == 1 ? hw::kEcPreEnterAlt : hw::kEcPreEnter);
  if (style.show_steps && !style.announce_first) Print(u"Send EC Cmd 0xDC \n\n");
  vSendEcCommand(hw::kEcEnterFlashMode);
  if (style.show_steps) Print(u"Read EC Data \n\n");
  const bool acknowledged = ucReadEcData() == EcAck;
  if (style.show_steps) {
    Print(acknowledged ? u"EC ACK OK. \n\n" : u"EC ACK Fail. \n\n");
  } else if (!acknowledged) {
    SetCursorPosition(1, 2);
    pf::printf("EC ACK Fail. \n\n");
  }
  return acknowledged;
}

void vLeaveFrameFlashMode() {
  vLeaveEcFlashMode(FlashState.EcLeaveCommand == hw::kEcLeaveAndReset);
}

void vCloseOperationFrame() {
  if (FlashState.EcFlashModeEntered) vLeaveFrameFlashMode();
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcEnableKeyboard);
}
