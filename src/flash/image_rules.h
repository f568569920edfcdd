// The image rules: every geometry an update refuses, because it would write
// outside the range the user named or where the block paths would write
// wrongly. Each refusal prints its line.
#pragma once

// Before anything is allocated or any port touched: more blocks than the
// block number can count, an image larger than the area it names, a Main
// image that is not 60K plus whole blocks, an offset below 0, one that with
// the image runs past 24 bits, and a non-zero offset with more than one
// block. Returns true when refused.
bool bRefuseImageGeometry();
// Right after identification, before anything is written: an area path on a
// chip that erases 64 KB only, an offset off the path's erase unit, and an
// update that reaches the chip's known capacity. Plans every block to find
// where the update ends and leaves BlockNum at 0. Returns true when refused.
bool bRefuseChipGeometry();
// Once the image is loaded, before any port access of the operation: an image
// that cannot be EC firmware (empty, one byte value throughout, or text), the
// usual ways a failed download ends up under the image's name. /F lets it
// through. Returns true when refused.
bool bRefuseWrongDownload();
