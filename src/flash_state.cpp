#include "flash_state.h"

// Zero-initialised: no constructor runs, which firmware builds rely on.
FlashStateRecord FlashState;

const uint8_t ChipFamilyCodes[5] = TOLVI_CHIP_FAMILY_CODES_INIT;
