// The flash-mode frame shared by the write test (/T) and the boot-block
// protection (/PB): keyboard off, EC into flash mode with its acknowledgement
// check, and out again without an EC reset.
#pragma once

// Prints the frame's progress lines; the operation goes on whatever the EC
// answered to 0xDC.
void vOpenOperationFrame();
// Leaves flash mode with 0xFC whatever /j says, then re-enables the keyboard
// unless /k.
void vCloseOperationFrame();
