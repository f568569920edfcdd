// The keyboard-controller channel (0x64/0x60) and the EC command channel
// (0x66/0x62): the status-bit handshakes, flash-mode entry and leave, and the
// one-byte EC RAM read.
#include "hw/kbc_ec.h"

#include "hw/bounded_wait.h"
#include "hw/ports.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace hw {
namespace {

// The i8042 takes a byte within microseconds; Linux's i8042 driver allows
// 500 ms before it calls the controller dead. Twice that.
constexpr PollBudget kKbcBudget = {1000000, 50, 0, 0};
// A pending keyboard byte is replaced by the next keystroke at human speed, so
// a controller whose output stays full for a second is stuck, not busy.
constexpr PollBudget kKbcDrainBudget = {1000000, 50, 0, 0};
// An EC normally takes a byte within microseconds; flash-mode entry and the
// reset command may keep it busy for a while (moving its code to RAM). Linux's
// ACPI EC driver allows 500 ms per transaction; four times that.
constexpr PollBudget kEcBudget = {2000000, 20, 0, 0};

bool bWaitKbcInputFree() {
  PollBudget budget = kKbcBudget;
  while (IoRead8(kKbcStatus) & kKbcInputFull) {
    if (!bPollAgain(&budget)) return false;
  }
  return true;
}

bool bDrainKbcOutput() {
  PollBudget budget = kKbcDrainBudget;
  while (IoRead8(kKbcStatus) & kKbcOutputFull) {
    if (!bPollAgain(&budget)) return false;
    (void)IoRead8(kKbcData);
  }
  return true;
}

// A byte left on 0x62 (an answer the firmware's last reader did not take,
// an event byte) would be read as the answer to the next command. An EC
// queues a few; a status that still shows OBF after this many reads is
// stuck or not an EC, and the acknowledgement check is left to tell.
constexpr unsigned kEcDrainBytes = 32;

bool bWaitEcInputFree() {
  PollBudget budget = kEcBudget;
  while (IoRead8(kEcCommand) & kEcIbf) {
    if (!bPollAgain(&budget)) return false;
  }
  return true;
}

bool bWaitEcOutputFull() {
  PollBudget budget = kEcBudget;
  while ((IoRead8(kEcCommand) & kEcObf) == 0) {
    if (!bPollAgain(&budget)) return false;
  }
  return true;
}

// The flags open before their command byte goes out and close after it, so
// whoever watches them (a time-out's clean-up, the platform holding an
// interrupt) never finds the hardware changed but not yet flagged.
void vNoteEcCommand(uint8_t command, bool sent) {
  if (!sent && command == kEcEnterFlashMode) {
    // From here on the EC counts as in flash mode whatever it answers, so a
    // time-out sends the leave byte the operation's frame chose.
    FlashState.EcFlashModeEntered = 1;
  } else if (sent && FlashState.EcFlashModeEntered &&
             (command == kEcLeaveAndReset || command == kEcLeaveNoReset)) {
    FlashState.EcFlashModeEntered = 0;
  } else {
    return;
  }
  vTellHardwareWindow();
}

void vNoteKbcCommand(uint8_t command, bool sent) {
  if (!sent && command == kKbcDisableKeyboard) {
    FlashState.KbcDisabled = 1;
  } else if (sent && command == kKbcEnableKeyboard) {
    FlashState.KbcDisabled = 0;
  } else {
    return;
  }
  vTellHardwareWindow();
}

}  // namespace

void vTellHardwareWindow() {
  SetHardwareWindow(FlashState.EcFlashModeEntered != 0, FlashState.KbcDisabled != 0);
}

void vDrainEcOutput() {
  for (unsigned n = 0; n < kEcDrainBytes && (IoRead8(kEcCommand) & kEcObf); ++n) {
    (void)IoRead8(kEcData);
  }
}

void vWaitEcInputFree() {
  if (!bWaitEcInputFree()) vGiveUpWait(u"EC input buffer (port 0x66 IBF) never cleared", kEcSilent);
}

void vWaitEcOutputFull() {
  if (!bWaitEcOutputFull()) vGiveUpWait(u"no EC data byte (port 0x66 OBF) arrived", kEcSilent);
}

bool bTrySendEcCommand(uint8_t command) {
  if (!bWaitEcInputFree()) return false;
  IoWrite8(kEcCommand, command);
  return bWaitEcInputFree();
}

bool bTrySendKbcCommand(uint8_t command) {
  if (!bDrainKbcOutput() || !bWaitKbcInputFree()) return false;
  IoWrite8(kKbcStatus, command);
  return bWaitKbcInputFree();
}

}  // namespace hw

using namespace hw;

void vSendKbcCommand(uint8_t command) {
  if (!bDrainKbcOutput()) {
    vGiveUpWait(u"keyboard controller output (port 0x60) never drained", kKbcSilent);
  }
  if (!bWaitKbcInputFree()) {
    vGiveUpWait(u"keyboard controller input buffer (port 0x64 IBF) never cleared", kKbcSilent);
  }
  vNoteKbcCommand(command, false);
  IoWrite8(kKbcStatus, command);
  vNoteKbcCommand(command, true);
  if (!bWaitKbcInputFree()) {
    vGiveUpWait(u"keyboard controller input buffer (port 0x64 IBF) never cleared", kKbcSilent);
  }
}

void vSendEcCommand(uint8_t command) {
  vWaitEcInputFree();
  vNoteEcCommand(command, false);
  IoWrite8(kEcCommand, command);
  vNoteEcCommand(command, true);
  vWaitEcInputFree();
}

void vSendEcData(uint8_t data) {
  IoWrite8(kEcData, data);
  vWaitEcInputFree();
}

uint8_t ucReadEcData() {
  vWaitEcOutputFull();
  return IoRead8(kEcData);
}

uint8_t ucReadEcRam(uint8_t address) {
  vSendEcCommand(kEcReadRam);
  vSendEcData(address);
  return ucReadEcData();
}

void vLeaveEcFlashMode(bool reset) { vSendEcCommand(reset ? kEcLeaveAndReset : kEcLeaveNoReset); }
