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

uint8_t ucFrameLeaveCommand() {
  if (FlashState.Work == FlashWork::kWrites && FlashState.FlashWorkDone == 0)
    return hw::kEcLeaveNoReset;
  return FlashState.EcLeaveCommand;
}

void vLeaveFrameFlashMode() { vLeaveEcFlashMode(ucFrameLeaveCommand() == hw::kEcLeaveAndReset); }

void vCloseOperationFrame() {
  if (FlashState.EcFlashModeEntered) vLeaveFrameFlashMode();
  if (FlashState.SkipKbc == 0) vSendKbcCommand(hw::kKbcEnableKeyboard);
}

int iFailureStatus() {
  // A time-out that could not send the leave byte leaves the flag set.
  if (FlashState.EcFlashModeEntered != 0) return kExitKeepPowerOn;
  if (FlashState.Work == FlashWork::kWrites && FlashState.FlashChanged != 0)
    return kExitKeepPowerOn;
  return kExitNotChanged;
}

namespace {

// The way out when running again does not help. The image file, and the
// backup of the old contents when one was taken, are what a programmer
// clipped onto the chip can write.
void vAdviseService() {
  Print(u"If it fails again, keep the power on and get the board to service, where\n\r");
  Print(u"the flash can be written with an external SPI programmer");
  if (FlashState.HasImage == 1) {
    Print(u" from the image\n\r");
    pf::printf("file %s", FlashState.ImagePath);
  } else {
    Print(u" from the EC\n\r");
    Print(u"image file");
  }
  if (FlashState.BackupSaved == 1) {
    pf::printf(" or from the backup file %s", FlashState.BackupPath);
  }
  Print(u".\n\r");
}

void vAdviseFlashState() {
  if (FlashState.HasImage == 1) {
    const unsigned verified = FlashState.BlocksVerified;
    if (verified == 0) {
      Print(u"No block was written and verified.\n\r");
    } else if (verified == 1) {
      Print(u"Block 0 was written and verified.\n\r");
    } else {
      Print(u"Blocks 0 to %d were written and verified.\n\r", static_cast<int>(verified - 1));
    }
    if (FlashState.WrapCapacity != 0) {
      Print(u"The image does not fit: the flash chip holds %dK.\n\r",
            static_cast<int>(FlashState.WrapCapacity / 1024));
    } else {
      Print(FlashState.BlockRefused != 0
                ? u"Block %d (flash address 0x%06x) was not erased: it is write-protected.\n\r"
                : u"Block %d (flash address 0x%06x) is incomplete.\n\r",
            static_cast<int>(verified), static_cast<unsigned>(FlashState.Plan.flash_start));
    }
    Print(u"The EC flash now holds an incomplete image.\n\r");
  } else if (FlashState.TestMode == 1) {
    Print(FlashState.FlashWorkDone == 1
              ? u"The write test's sector at 0x000000 holds the test pattern, not firmware.\n\r"
              : u"The write test's sector at 0x000000 is incomplete.\n\r");
    Print(u"The EC flash now holds an incomplete image.\n\r");
  } else {
    Print(u"The status-register write of the protection is incomplete.\n\r");
  }
}

}  // namespace

void vAdviseAfterFailure() {
  const bool ec_held = FlashState.EcFlashModeEntered != 0;
  if (FlashState.Work == FlashWork::kNone && !ec_held) return;
  Print(u"\n\rWhat to do now:\n\r");
  const bool writes = FlashState.Work == FlashWork::kWrites;
  // /PB's status write is its work: with the EC held it counts as a change.
  const bool protect_wrote = writes && FlashState.StatusChanged != 0 &&
                             FlashState.ProtectMode == 1 && FlashState.HasImage == 0;
  const bool changed = (writes && FlashState.FlashChanged != 0) || (protect_wrote && ec_held);
  if (!changed && !ec_held) {
    if (!writes || FlashState.StatusChanged == 0) {
      Print(u"The flash was not changed. It is safe to power off.\n\r");
    } else {
      // Its contents are sound; the status bits are what a later run sets.
      Print(
          protect_wrote
              ? u"The flash contents were not changed, but its status register was written to.\n\r"
              : u"The flash contents were not changed, but its write protection was cleared.\n\r");
      Print(u"It is safe to power off.\n\r");
    }
    return;
  }
  const bool done = FlashState.FlashWorkDone == 1 && FlashState.TestMode == 0;
  if (!changed || done) {
    // The flash holds what it held, or what was asked: only the hand-back
    // failed.
    if (!changed) {
      Print(u"Nothing was written to the flash, but the EC may still be in flash mode.\n\r");
    } else {
      Print(FlashState.HasImage == 1
                ? u"Every block was written and verified: the EC flash holds the whole image.\n\r"
                : u"The protection was written and read back.\n\r");
      Print(u"The failure came while the EC or the keyboard was given back.\n\r");
      if (ec_held) Print(u"The EC may still be in flash mode.\n\r");
    }
    Print(u"Do not power off yet: run the same command again, so that the EC leaves\n\r");
    Print(u"flash mode as it should.\n\r");
    vAdviseService();
    return;
  }
  vAdviseFlashState();
  Print(ec_held ? u"The EC may still be in flash mode.\n\r"
                : u"The EC was not reset: it does not restart from the incomplete flash.\n\r");
  Print(u"Do not power off or reboot the machine: the EC may not start again.\n\r");
  if (FlashState.WrapCapacity != 0) {
    // The same image would wrap again and wipe block 0 on the way.
    Print(u"Running the same command again does not help: flash an image of at most\n\r");
    Print(u"%dK made for this board, with the power still on. If none is at hand,\n\r",
          static_cast<int>(FlashState.WrapCapacity / 1024));
    Print(u"keep the power on and get the board to service.\n\r");
    return;
  }
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
  vAdviseService();
}
