// The keyboard-controller and EC channel's waits beside the procedures that
// tolvi.h lists: the ones the tunnel and the clean-up of a time-out need.
#pragma once

#include <stdint.h>

namespace hw {

// The EC handshake waits on port 0x66 (IBF clear, OBF set); on a time-out
// they end the program through vGiveUpWait.
void vWaitEcInputFree();
void vWaitEcOutputFull();
// Reads and discards what waits on 0x62 (before 0xDC, whose answer must be
// the next byte), at most a bounded number of bytes.
void vDrainEcOutput();

// Tells the platform the hardware window as the flags now say.
void vTellHardwareWindow();

// Variants that report a time-out as false instead of ending the program;
// the clean-up uses them so that it cannot recurse.
bool bTrySendEcCommand(uint8_t command);
bool bTrySendKbcCommand(uint8_t command);

}  // namespace hw
