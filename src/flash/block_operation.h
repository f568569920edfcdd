// The steps every block-by-block operation on an image shares (the update,
// the compare and the update of changed units): the frame, identification,
// the half-block rule and the geometry refusals at the start, the block
// screen, the retry of a failing block, and the end.
#pragma once

#include "flash/operation_frame.h"

// Opens the frame, identifies the flash, applies the half-block rule and
// refuses a geometry that would write elsewhere. Returns false when refused;
// the frame is closed then and the run ends with status 1.
bool bStartBlockOperation(const FrameStyle& style);
// A chip of unknown size may wrap a later block onto block 0: when
// `check_wrap`, block 0 is read back once more. Then the frame is closed,
// also after a failed block: a failed flash must not leave the keyboard dead.
void vEndBlockOperation(bool check_wrap);
// Clears the screen and shows banner, device, vendor and block number.
void vShowBlockScreen();
// Runs `attempt` on the current block, again after a failed check, twice at
// most, each retry with its line. The last failure leaves flash mode at once
// and the run ends with status 1.
bool bRunBlockWithRetries(bool (*attempt)());
// Plans, shows and writes every block in turn with `attempt` (after
// `before`, when given, once per block), until one fails for good.
void vWriteBlocks(bool (*attempt)(), void (*before)());
// A failure that ends the operation: out of flash mode at once, status 1.
void vFailUpdate();
// The update's last line: blocks and bytes written and verified, the units
// /U left alone and the time taken; nothing after a failure.
void vShowUpdateSummary();
