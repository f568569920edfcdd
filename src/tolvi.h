// Every procedure of the program, by subsystem. Procedures exchange state
// through FlashState; arguments are at most the three bytes of a flash address
// and a count.
#pragma once

#include <stdint.h>

#include "flash_state.h"

namespace tolvi {
// The program's entry: argc/argv as the shell split the command line (argv[0]
// the command name, argv[argc] null). Returns the exit status, one of the
// three below. Safe to call more than once in one process: it zeroes
// FlashState first.
int main(int argc, char** argv);
}  // namespace tolvi

// Exit statuses: what whoever ran the program may do with the board now.
// The operation did what was asked.
constexpr int kExitDone = 0;
// Refused or failed with the flash as it was and the EC given back: safe to
// power off.
constexpr int kExitNotChanged = 1;
// The flash was changed and is not complete, or the EC did not leave flash
// mode: keep the power on and run the command again.
constexpr int kExitKeepPowerOn = 2;

// Ends the program from anywhere with this exit status (used by the bounded
// waits when they give up); returns to the caller of tolvi::main.
[[noreturn]] void vExitProgram(int status);

// --- app/ : front end -------------------------------------------------------
void vShowBanner();
void vShowUsage();
// The usage, then one line for each option it leaves out.
void vShowHelp();
bool bEcPortsDecoded();
// The argument scan; returns -1 when the scan finished normally, else the exit
// status of a refusal.
int iScanArguments(int argc, char** argv);
// True for "/?", "-?" or "--help" as the only argument.
bool bIsHelpRequest(int argc, char** argv);
int iDispatch(int argc, char** argv);
int iLoadImageAndUpdate();
// The refusals whose text says what happened, each with a line after it that
// names the cause: the file (null: none was named), the two sizes, the
// argument the scan stopped at (entry `index`, and `why` after its quoted
// text), the missing operation.
void vShowFileOpenFail(const char* path);
void vShowSizeMismatch(uint64_t file_bytes, int32_t size_k);
void vShowStoppedAt(int index, const char* entry, const char* why);
void vShowNoOperation();

// --- hw/ : KBC and EC channels ----------------------------------------------
void vSendKbcCommand(uint8_t command);
void vSendEcCommand(uint8_t command);
void vSendEcData(uint8_t data);
uint8_t ucReadEcData();
uint8_t ucReadEcRam(uint8_t address);
void vLeaveEcFlashMode(bool reset);

// --- hw/ : follow-mode tunnel -----------------------------------------------
void vEnterFollowMode();
void vSendSpiCommand(uint8_t opcode);
void vSendSpiData(uint8_t data);
uint8_t ucReadSpiData();
void vExitFollowMode();
void vWaitSpiReady();
void vSpiWriteDisable();

// --- hw/ : super-I/O and BRAM -----------------------------------------------
// Returns kNoChip when no chip of the maker's families answers.
uint16_t usDetectSioChip();
uint8_t ucReadBram(uint16_t base, uint8_t index);
void vReadBramVersion(uint8_t* fw_high, uint8_t* fw_low);

// --- flash/ -----------------------------------------------------------------
void vReadSPIDeviceID();
void vShowDeviceId();
void vShowSpiVendor();
// Write enable, with 0x50 after it where the chip's traits ask for it.
void vSpiWriteEnable();
void vEraseBlock(uint8_t high, uint8_t middle, uint8_t low);
void vEraseSectors(uint8_t high, uint8_t middle, uint8_t low, uint8_t count);
bool bEraseVerify(uint8_t high, uint8_t middle, uint8_t low);
void vProgramAaiByte(uint8_t high, uint8_t middle, uint8_t low);
void vProgramAaiWord(uint8_t high, uint8_t middle, uint8_t low);
void vProgramPages(uint8_t high, uint8_t middle, uint8_t low);
void vProgramPagesCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count);
void vProgramChunks(uint8_t high, uint8_t middle, uint8_t low);
void vProgramChunksCounted(uint8_t high, uint8_t middle, uint8_t low, uint8_t count);
bool bVerifyBlock(uint8_t high, uint8_t middle, uint8_t low);
void vSaveFlashToFile();
void vClearSpiStatus();
bool bUpdateArea(uint8_t high, uint8_t middle, uint8_t low, uint8_t erase_count,
                 uint8_t page_count);
bool bUpdateWholeBlock(uint8_t high, uint8_t middle, uint8_t low);
void vUpdateFlash();
// /D: compares every block the update would write with the image; writes
// nothing. Sets CompareDiffers when a byte differs.
void vCompareFlash();
// /U: the update of only the erase units that differ from the image.
void vUpdateChangedFlash();
void vRunProtection();
// The byte that leaves flash mode now: the operation frame's choice, but
// never 0xFE while a writing operation has not finished its work, so that the
// EC is not reset onto a flash known to be incomplete.
uint8_t ucFrameLeaveCommand();
void vProtectBootBlock();

// --- diag/ ------------------------------------------------------------------
int iQueryVersion();
void vShowImageChecksum(int argc, char** argv);
void vRunWriteTest();
void vWriteTestPattern();
