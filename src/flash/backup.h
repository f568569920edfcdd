// The backup of /b: read before the first erase, written whole to its file
// (created by the image load) before anything is erased.
#pragma once

#include <stdint.h>

// Creates /b's file, before the board is touched: a name that cannot be
// written is refused before flash mode rather than after the read. Prints
// the refusal and returns false when refused; true without /b.
bool bOpenBackupFile();
// With a backup file: reads every range the update will erase, block by
// block as planned, and puts the file in place. False when the memory or the
// file failed: nothing may be erased then. True without a backup file.
bool bSaveBackup();
// The flash byte saved for an image offset, for /U's comparison, which then
// needs no second read; false without a saved byte there.
bool bSavedFlashByte(uint64_t image_offset, uint8_t* byte);
// Frees the saved bytes, and removes a backup file that was never completed.
void vReleaseBackup();
