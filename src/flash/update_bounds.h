// Where an update may write: the checks that refuse an image, offset and
// chip that would write outside the range the user named.
#pragma once

// Before any port access: an offset below 0, one that with the image runs
// past 24 bits, and a non-zero offset with more than one block. Prints the
// refusal and returns true when refused.
bool bRefuseUpdateOffset();
// Right after identification, before anything is written: an area path on a
// chip that erases 64 KB only, an offset off the path's erase unit, and an
// update that reaches the chip's known capacity. Plans every block to find
// where the update ends and leaves BlockNum at 0. Prints the refusal and
// returns true when refused.
bool bRefuseChipGeometry();
