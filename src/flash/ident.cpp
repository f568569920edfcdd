// Identification of the SPI flash behind the EC, the pick of its traits row,
// and the vendor line shown for it.
#include "flash/flash_engine.h"

void vReadSPIDeviceID() {
  FlashState.SPIDeviceID[0] = 0;
  FlashState.SignatureId = 0;
  vWaitSpiReady();
  Print(u"\nvEnterFollowMode");
  vEnterFollowMode();
  vSendSpiCommand(flash_op::kReadJedecId);
  Print(u"\nSPIDeviceID=");
  for (int i = 0; i < 4; ++i) {
    FlashState.SPIDeviceID[i] = ucReadSpiData();
    Print(u" %x", static_cast<unsigned>(FlashState.SPIDeviceID[i]));
  }
  if (FlashState.SPIDeviceID[0] == 0) {
    // No JEDEC manufacturer: fall back to the electronic signature. The
    // ready poll's opening sub-command ends the JEDEC read.
    vWaitSpiReady();
    vEnterFollowMode();
    vSendSpiCommand(flash_op::kReadSignature);
    for (int i = 0; i < 3; ++i) vSendSpiData(0x00);
    Print(u"\n\n");
    for (int j = 0; j < 16; ++j) {
      FlashState.SPIDeviceID[j] = ucReadSpiData();
      Print(u" %x", static_cast<unsigned>(FlashState.SPIDeviceID[j]));
    }
    Print(u"\n\n");
    FlashState.SignatureId = 1;
    vExitFollowMode();
  }
  Print(u"\nvExitFollowMode");
  vExitFollowMode();
  vPickFlashTraits();
}

void vShowDeviceId() {
  SetCursorPosition(1, 3);
  Print(u" Device ID        : %x %x %x %x ", static_cast<unsigned>(FlashState.SPIDeviceID[0]),
        static_cast<unsigned>(FlashState.SPIDeviceID[1]),
        static_cast<unsigned>(FlashState.SPIDeviceID[2]),
        static_cast<unsigned>(FlashState.SPIDeviceID[3]));
}

void vShowSpiVendor() {
  SetCursorPosition(1, 4);
  const IdForm form = FlashState.SignatureId != 0 ? IdForm::kSignature : IdForm::kJedec;
  // Every matching row prints; the walk does not stop at the first.
  for (size_t i = 0; i < kFlashTraitsRows; ++i) {
    const FlashTraits& row = FlashTraitsTable[i];
    if (row.vendor_line != nullptr && bTraitsMatch(row, FlashState.SPIDeviceID, form))
      Print(u"%s", row.vendor_line);
  }
}
