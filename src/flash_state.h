// The one global record of the program: options, chip identity, image
// geometry and the flash engine's loop positions. Every field is zero at start.
#pragma once

#include <stdint.h>

#include "flash/block_plan.h"
#include "platform/platform.h"
#include "tolvi_config.h"

// What the operation under way does to the flash, for the advice after a
// failure.
enum class FlashWork : uint8_t { kNone, kReads, kWrites };

struct FlashStateRecord {
  // Options (the option scan).
  const char* ImagePath;
  uint8_t HasImage;
  int32_t FileSizeK;
  uint8_t SaveMode;
  uint8_t BbkMode;
  uint8_t MainMode;
  uint8_t BackupMode;
  uint8_t AltEnterMode;
  uint8_t ChecksumMode;
  uint8_t ProtectMode;
  uint8_t TestMode;
  uint8_t VersionMode;
  uint8_t BramMode;
  uint8_t VersionStringMode;
  uint8_t BramFileMode;
  // /D: compare the flash with the image, write nothing.
  uint8_t CompareMode;
  // /U: erase and write only the erase units that differ from the image.
  uint8_t ChangedOnlyMode;
  // /F: take an image that looks like no firmware.
  uint8_t ForceImage;
  // /b FILE: before the first erase, save what the flash holds where the
  // update will erase. The file is created before the board is touched.
  const char* BackupPath;
  pf::FILE* BackupFile;
  // The saved contents, by image offset (flash_start + d of a block at its
  // image_base + d), so that the file flashes back with the same options.
  uint8_t* BackupData;
  uint64_t BackupSize;
  // The backup file is complete and in place.
  uint8_t BackupSaved;
  int64_t StartOffset;
  uint64_t NoReset;
  uint64_t SkipKbc;
  int64_t VersionOffset;
  int64_t VersionLength;
  const char* CompareVersion;

  // Identity.
  uint8_t SioPort;
  uint16_t ChipId;
  uint8_t SPIDeviceID[16];
  // Set when the flash answered only the signature read.
  uint8_t SignatureId;
  // Picked at identification from the ID bytes (flash/flash_traits.h); null
  // before it.
  const struct FlashTraits* Traits;
  // Bytes, as the ID tells them; 0 when it does not.
  uint32_t FlashCapacity;
  // Bytes a part of unknown size turned out to hold: its addresses wrapped
  // there before the update's end.
  uint32_t WrapCapacity;

  // Image and buffers.
  pf::FILE* ImageFile;
  uint8_t* ImageData;
  int64_t ImageSize;
  uint64_t PageCount;
  uint64_t MaxBlockNum;
  uint8_t* ReadBuffer;
  char VersionText[25];

  // Loop positions of the flash engine.
  uint8_t BlockNum;
  uint8_t BlockBase;
  uint64_t ProgrammedCount;
  uint64_t EndCount;
  uint64_t EraseEnd;
  uint64_t counterN;
  uint16_t PageIndex;
  uint16_t ByteInPage;
  uint64_t ImageOffset;
  // The current block's plan, made once per block by vPlanBlock.
  BlockPlan Plan;

  // What a bounded wait must undo when it gives up: set while the EC is in
  // flash mode (with the leave byte the running operation would send) and
  // while the keyboard controller is disabled.
  uint8_t EcFlashModeEntered;
  uint8_t EcLeaveCommand;
  uint8_t KbcDisabled;
  // Bytes of the image actually loaded; programming and verify never index
  // ImageData at or beyond it.
  int64_t ImageLoaded;
  // Set where an operation starts on the hardware; kNone for refusals and
  // outcomes that are no failure (a version comparison).
  FlashWork Work;
  // The first erase or program went out, or /PB's protection took: the
  // flash no longer holds what it held.
  uint8_t FlashChanged;
  // A status write changed the flash's write protection (the status clear
  // lifted one the chip held, or /PB's write went out); its contents are
  // what they were.
  uint8_t StatusChanged;
  // The status clear left bits that protect what the current block would
  // erase: the block is not erased and not tried again.
  uint8_t BlockRefused;
  // Blocks of the update that passed their verify.
  uint8_t BlocksVerified;
  // For the update's summary: the clock at its start, the bytes written and
  // verified, and the erase units /U found the same and left alone. Each
  // block's attempt sets the Block fields; a block that passes adds them.
  uint64_t UpdateStartMicroseconds;
  uint8_t BlocksWritten;
  uint64_t BytesWritten;
  uint64_t UnitsUnchanged;
  uint32_t BlockBytesWritten;
  uint32_t BlockUnitsUnchanged;
  // The operation's flash work ended and read back as asked: a failure after
  // it, while the EC or the keyboard is given back, left the flash sound.
  uint8_t FlashWorkDone;
  // Set by a block that failed its checks, so the run ends with status 1.
  uint8_t UpdateFailed;
  // Set by /D when a byte the update would write differs from the image, so
  // the run ends with status 1.
  uint8_t CompareDiffers;
  // Set by the dump when a file write came up short.
  uint8_t SaveFailed;
  // Set by the checksum when its file could not be opened, so the run ends
  // with status 1.
  uint8_t ChecksumFailed;
  // Set when /T's pattern or /PB's status bits did not read back, so the
  // run ends with status 1.
  uint8_t TestFailed;
  uint8_t ProtectFailed;
  // A part whose ID stands for a page part and a byte-only part: set once
  // the first page read back told which (ProgramKind::kPagesOrBytes).
  uint8_t ProgramMethodKnown;
  uint8_t ProgramByBytes;
};

extern FlashStateRecord FlashState;

// Build-time board constants.
extern const uint8_t ChipFamilyCodes[5];
constexpr uint16_t ModeSelectModel = TOLVI_MODE_SELECT_MODEL;
constexpr uint16_t HalfBlockModels[2] = {TOLVI_HALF_BLOCK_MODEL_1, TOLVI_HALF_BLOCK_MODEL_2};

constexpr uint16_t kNoChip = 0xFFFF;
constexpr uint8_t EcAck = 0x33;
constexpr char16_t ProgressMark = 0x2588;
