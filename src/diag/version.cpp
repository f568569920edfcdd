// Version query (/V, /VB, /VBF, /VC): the running firmware's version from EC
// RAM or from BRAM, optionally compared with a given text or an image file.
// The outcome of a comparison is the exit status and a colour that stays in
// force after the program, so a script and a person both see it.
#include "platform/whole_file.h"
#include "tolvi.h"

namespace {
constexpr unsigned kColourGreen = 0x0A;
constexpr unsigned kColourRed = 0x0C;

// The firmware keeps its version at these two image offsets (hex digits and a
// letter), so /VBF needs a file that reaches past both.
constexpr int64_t kImageVersionHigh = 0xFFF8;
constexpr int64_t kImageVersionLow = 0xFFF9;
constexpr int64_t kImageVersionMinSize = kImageVersionLow + 1;

// The EC firmware's eight-character version string in EC RAM.
constexpr uint8_t kEcRamVersionString = 0xD8;
constexpr unsigned kVersionStringLength = 8;

// EC RAM has 256 bytes; a longer read would only repeat them.
constexpr int64_t kEcRamSize = 256;
constexpr int64_t kDefaultVersionLength = 2;

// The /VBF file, held while its version is compared.
WholeFile g_version_file;

// Opens the /VBF file and reads it whole; false (after its message) when the
// file cannot be opened or does not reach the version bytes.
bool bLoadImageFile() {
  const FileLoad opened = eOpenWholeFile(FlashState.ImagePath, &g_version_file);
  FlashState.ImageFile = g_version_file.file;
  if (opened != FileLoad::kOk) {
    vShowFileOpenFail(FlashState.ImagePath);
    return false;
  }
  pf::printf("\n\rfopen file %s ", FlashState.ImagePath);
  const int64_t length = g_version_file.length;
  if (length < kImageVersionMinSize) {
    pf::printf("\n\rFile too short: no FW version at 0xFFF8!\n\r");
    return false;
  }
  if (length > kMaxFileLength) {
    pf::printf("\n\rFile read fail: no FW version at 0xFFF8!\n\r");
    return false;
  }
  // A short read that still reaches the version bytes will do.
  (void)eReadWholeFile(&g_version_file, static_cast<size_t>(length));
  FlashState.ImageData = g_version_file.data;
  if (g_version_file.loaded < static_cast<size_t>(kImageVersionMinSize)) {
    pf::printf("\n\rFile read fail: no FW version at 0xFFF8!\n\r");
    return false;
  }
  return true;
}

// Reads the BRAM version into VersionText and shows it.
void vShowBramVersion() {
  uint8_t fw_high = 0;
  uint8_t fw_low = 0;
  FlashState.Work = FlashWork::kReads;
  vReadBramVersion(&fw_high, &fw_low);
  // What follows is the comparison, whose status 1 is its verdict.
  FlashState.Work = FlashWork::kNone;
  pf::printf("\n\r\n\rFW_H=%x , FW_L=%x", static_cast<unsigned>(fw_high),
             static_cast<unsigned>(fw_low));
  pf::sprintf(FlashState.VersionText, "%02d%c", static_cast<int>(fw_high),
              static_cast<int>(fw_low));
  pf::printf("\n\rSIO FW version :%s ", FlashState.VersionText);
}

int iCompareWithImage() {
  char image_version[8];
  pf::sprintf(image_version, "%02x%c",
              static_cast<unsigned>(FlashState.ImageData[kImageVersionHigh]),
              static_cast<int>(FlashState.ImageData[kImageVersionLow]));
  pf::printf("\n\rBIN FW version :%s ", image_version);
  // Any difference, older or newer, means the image is not the one running.
  if (pf::strcmp(FlashState.VersionText, image_version) != 0) {
    SetAttribute(kColourGreen);
    return 0;
  }
  SetAttribute(kColourRed);
  return 1;
}

int iCompareWithInput() {
  if (FlashState.CompareVersion == nullptr) return 0;
  int status;
  if (pf::strcmp(FlashState.VersionText, FlashState.CompareVersion) < 0) {
    SetAttribute(kColourGreen);
    pf::printf(" \n\r=> Input version is newer then current FW!!\n\r");
    status = 0;
  } else {
    SetAttribute(kColourRed);
    pf::printf(" \n\r=> Input version is NOT newer then current FW!!\n\r");
    status = 1;
  }
  pf::printf("\n\r");
  return status;
}

// The image is needed for its two version bytes only. Released here rather
// than left to the end of the program, so that a caller running the program
// again (the board harness, the test bench) starts without it.
void vReleaseImageFile() {
  vReleaseWholeFile(&g_version_file);
  FlashState.ImageData = nullptr;
  FlashState.ImageFile = nullptr;
}

// The file comes first: a /VBF that cannot name an image reads no BRAM.
int iCompareBramWithFile() {
  if (!bLoadImageFile()) return 1;
  vShowBramVersion();
  return iCompareWithImage();
}

int iShowVersionString() {
  FlashState.Work = FlashWork::kReads;
  uint8_t text[kVersionStringLength];
  for (unsigned i = 0; i < kVersionStringLength; ++i)
    text[i] = ucReadEcRam(static_cast<uint8_t>(kEcRamVersionString + i));
  // A zero byte among the eight ends the text there.
  pf::sprintf(FlashState.VersionText, "%c%c%c%c%c%c%c%c", text[0], text[1], text[2], text[3],
              text[4], text[5], text[6], text[7]);
  pf::printf("\n\rSIO FW version : %s", FlashState.VersionText);
  pf::printf("\n\r\n\r");
  return 0;
}

int iShowEcRamBytes() {
  if (FlashState.VersionLength == 0) {
    // An offset without a length is dropped: the default is the first two bytes.
    FlashState.VersionOffset = 0;
    FlashState.VersionLength = kDefaultVersionLength;
  } else {
    // The option scan refuses these too; this keeps the loop finite whoever
    // filled the record.
    if (FlashState.VersionLength < 0 || FlashState.VersionLength > kEcRamSize) {
      Print(u"\n\rVersion length must be 1 to 256!\n\r");
      return 1;
    }
    Print(u"\n\roffset = %x , lenth = %x", static_cast<unsigned>(FlashState.VersionOffset),
          static_cast<unsigned>(FlashState.VersionLength));
  }
  FlashState.Work = FlashWork::kReads;
  Print(u"\n\rSIO FW version : ");
  const uint32_t length = static_cast<uint32_t>(FlashState.VersionLength);
  for (uint32_t i = 0; i < length; ++i) {
    // One-byte EC RAM addresses: a range past 0xFF goes on at 0x00.
    const uint8_t value = ucReadEcRam(static_cast<uint8_t>(FlashState.VersionOffset + i));
    Print(u"%02d", static_cast<int>(value));
    if (i != length - 1) Print(u".");
  }
  return 0;
}
}  // namespace

int iQueryVersion() {
  vShowBanner();
  // A /VBF name that is no plain file is refused before the chip is asked.
  if (FlashState.BramFileMode == 1 && pf::IsSpecialFile(FlashState.ImagePath)) {
    vShowFileOpenFail(FlashState.ImagePath);
    return 1;
  }
  // Detected again: only the maker's chips keep a version where this reads it.
  FlashState.ChipId = usDetectSioChip();
  if (FlashState.ChipId == kNoChip) {
    Print(u"\n\rNot XQR Chip\n\r");
    return 1;
  }
  pf::printf("\n\rChip ID : 0x%02X\n\r", static_cast<unsigned>(FlashState.ChipId));
  if (FlashState.BramMode == 1) {
    if (FlashState.BramFileMode == 1) {
      const int status = iCompareBramWithFile();
      vReleaseImageFile();
      return status;
    }
    vShowBramVersion();
    return iCompareWithInput();
  }
  if (FlashState.VersionStringMode == 1) return iShowVersionString();
  return iShowEcRamBytes();
}
