// Identification of the SPI flash behind the EC and the vendor line shown for
// it.
#include "flash/flash_engine.h"
#include "flash/vendor_table.h"

namespace {

void vPrintSst() { Print(u" SPI Vendor       : SST \n"); }
void vPrintWinbond() { Print(u" SPI Vendor       : Winbond \n"); }
void vPrintAtmel() { Print(u" SPI Vendor       : Atmel \n"); }
void vPrintSt() { Print(u" SPI Vendor       : ST \n"); }
void vPrintSpansion() { Print(u" SPI Vendor       : Spansion \n"); }
void vPrintMxic() { Print(u" SPI Vendor       : MXIC \n"); }
void vPrintAmic() { Print(u" SPI Vendor       : AMIC \n"); }
void vPrintEon() { Print(u" SPI Vendor       : EON \n"); }
void vPrintEsmt() { Print(u" SPI Vendor       : ESMT \n"); }
// The maker's own flash. Byte 15 is filled only by the signature read; the
// "A type" answers the JEDEC read (all 0xFF) and so leaves it 0.
void vPrintMaker() {
  if (FlashState.SPIDeviceID[15] == 0) {
    Print(u" SPI Vendor       : XQR A type\n");
  } else {
    Print(u" SPI Vendor       : XQR \n");
  }
}
void vPrintGigaDevice() { Print(u" SPI Vendor       : GigaDevice \n"); }
void vPrintPmc() { Print(u" SPI Vendor       : PMCDevice \n"); }

}  // namespace

const SpiVendorRow SpiVendorTable[kSpiVendorRows] = {
    {0xBF, vPrintSst},      {0xEF, vPrintWinbond}, {0x1F, vPrintAtmel},      {0x20, vPrintSt},
    {0x01, vPrintSpansion}, {0xC2, vPrintMxic},    {0x37, vPrintAmic},       {0x1C, vPrintEon},
    {0x8C, vPrintEsmt},     {0xFF, vPrintMaker},   {0xC8, vPrintGigaDevice}, {0x7F, vPrintPmc},
};

void vReadSPIDeviceID() {
  FlashState.SPIDeviceID[0] = 0;
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
    FlashState.AaiByteMode = FlashState.SPIDeviceID[0] == vendor::kSst ? 1 : 0;
    vExitFollowMode();
  }
  Print(u"\nvExitFollowMode");
  vExitFollowMode();
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
  // Every matching row prints; the walk does not stop at the first.
  for (const SpiVendorRow& row : SpiVendorTable) {
    if (row.Manufacturer == FlashState.SPIDeviceID[0]) row.PrintLine();
  }
}
