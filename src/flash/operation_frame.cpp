#include "flash/operation_frame.h"

#include "hw/kbc_ec.h"
#include "hw/ports.h"
#include "tolvi.h"

bool bOpenOperationFrame(const FrameStyle& style) {
  // Every frame gives the keyboard back with 0xAE unless /k.
  if (FlashState.SkipKbc == 0) ClaimKeyboardController();
  FlashState.Work = style.writes ? FlashWork::kWrites : FlashWork::kReads;
  // Set before 0xDC, so a wait that gives up leaves flash mode the same way.
  FlashState.EcLeaveCommand =
      style.reset_allowed && FlashState.NoReset == 0 ? hw::kEcLeaveAndReset : hw::kEcLeaveNoReset;
  if (style.keyboard_off) {
    if (style.keyboard_line_always || FlashState.SkipKbc == 0) Print(u"Send KB Cmd 0xAD \n\n");
    if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcDisableKeyboard);
  }
  if (style.show_steps && style.announce_first) Print(u"Send EC Cmd 0xDC \n\n");
  // Whatever waits on 0x62 now is not the answer to 0xDC.
  hw::vDrainEcOutput();
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

void vAdviseAfterFailure() {
  if (FlashState.Work == FlashWork::kNone) return;
  Print(u"\n\rWhat to do now:\n\r");
  if (FlashState.Work == FlashWork::kReads || FlashState.FlashChanged == 0) {
    Print(u"The flash was not changed.\n\r");
    return;
  }
  if (FlashState.FlashWorkDone == 1 && FlashState.TestMode == 0) {
    // Only the hand-back failed; the flash holds what was asked.
    Print(FlashState.HasImage == 1
              ? u"Every block was written and verified: the EC flash holds the whole image.\n\r"
              : u"The protection was written and read back.\n\r");
    Print(u"The failure came afterwards, while the EC or the keyboard was given back.\n\r");
    Print(
        u"Do not power off yet: run the same command again, so that the EC leaves flash mode as "
        u"it should.\n\r");
    return;
  }
  if (FlashState.HasImage == 1) {
    const unsigned verified = FlashState.BlocksVerified;
    if (verified == 0) {
      Print(u"No block was written and verified; ");
    } else if (verified == 1) {
      Print(u"Block 0 was written and verified; ");
    } else {
      Print(u"Blocks 0 to %d were written and verified; ", static_cast<int>(verified - 1));
    }
    Print(u"block %d (flash address 0x%06x) is incomplete.\n\r", static_cast<int>(verified),
          static_cast<unsigned>(FlashState.Plan.flash_start));
    Print(u"The EC flash now holds an incomplete image.\n\r");
  } else if (FlashState.TestMode == 1) {
    Print(FlashState.FlashWorkDone == 1
              ? u"The write test's sector at 0x000000 holds the test pattern, not firmware.\n\r"
              : u"The write test's sector at 0x000000 is incomplete.\n\r");
    Print(u"The EC flash now holds an incomplete image.\n\r");
  } else {
    Print(u"The status-register write of the protection is incomplete.\n\r");
  }
  Print(u"Do not power off or reboot the machine: the EC may not start again.\n\r");
  Print(u"Run the same command again; it rewrites what is incomplete.\n\r");
  if (FlashState.BackupSaved == 1) {
    pf::printf("What the flash held before is in %s: flashing it with the same\n\r",
               FlashState.BackupPath);
    pf::printf("options and its own size (%lluK, or 0) writes it back.\n\r",
               static_cast<unsigned long long>((FlashState.BackupSize + 1023) / 1024));
  }
  // The pattern sits where the EC's firmware starts.
  if (FlashState.TestMode == 1)
    Print(u"Then flash the EC image: the write test does not restore it.\n\r");
}
