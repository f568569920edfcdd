// The dump of the flash to XQRFW.bin (/S): its size checks, its frame, the
// file, and the release of what it holds when a wait gives up.
#pragma once

// Dumps FileSizeK KB from address 0; returns the exit status.
int iSaveFlash();
// Frees the read buffer and closes the file the dump still holds (after a
// time-out), as the end of the dump would.
void vReleaseDumpResources();
