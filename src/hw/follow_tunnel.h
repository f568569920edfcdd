// The tunnel's status wait, beside the tunnel steps that tolvi.h lists.
#pragma once

#include <stdint.h>

// vWaitSpiReady, returning the status byte that showed the flash idle.
uint8_t ucWaitSpiReady();
// Reads the status register of an open 0x05 read until (status & mask) ==
// want and returns the byte that showed it. Only the write-enable latch is
// awaited this way: it changes as soon as 0x06 or 0x04 ends (the flash is idle
// by then), so a second without it means it is not coming, and the wait gives
// up naming `what`, and `plain` in plain words.
uint8_t ucAwaitSpiStatus(uint8_t mask, uint8_t want, const char16_t* what, const char16_t* plain);
