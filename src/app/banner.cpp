// The program's texts about itself: the banner line, the usage screen and the
// help.
#include "platform/platform.h"
#include "tolvi.h"

namespace {

constexpr const char16_t* kVersionText = u"2.3.0";

// One Print per line, in screen order. The indents are part of the layout
// that support scripts match on, odd double blanks included.
constexpr const char16_t* kUsageLines[] = {
    u"\n\r Usage : ",
    u"\n\r        tolvi <ec filename> [filesize][/BK][/Mn][/Bp][/PB][/k][/O offset]",
    u"\n\r        ",
    u"\n\r Example :",
    u"\n\r        tolvi ec.bin 64",
    u"\n\r                Flash ec.bin filesize 64K to SPI",
    u"\n\r        tolvi ec.bin 64 /k",
    u"\n\r                Flash ec.bin filesize 64K and skip KBC command",
    u"\n\r        tolvi ec.bin 64 /O 1000 /j",
    u"\n\r                Flash ec.bin 64K filesize from offset 0x1000 and NOT Reset after tolvi",
    u"\n\r        tolvi ec.bin 64 /O 0",
    u"\n\r                Flash ec.bin 64K filesize from offset 0 and Reset after tolvi",
    u"\n\r        tolvi ec.bin 4 /BK",
    u"\n\r                Flash ec.bin 4K filesize to BBK Sector",
    u"\n\r        tolvi ec.bin 60 /Mn",
    u"\n\r                Flash ec.bin 60K filesize  to Main code area",
    u"\n\r        tolvi ec.bin 60 /Bp",
    u"\n\r                Flash ec.bin 60K filesize  to Backup code area",
    u"\n\r        tolvi ec.bin 4 /PB",
    u"\n\r                Protect BBK sector",
    u"\n\r        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin",
    u"\n\r                Show FW version from EC space start with offset 0 with 2 bytes",
    u"\n\r               |Show FW version from EC space start with offset 2(HEX) with 4(DEC) bytes",
    u"\n\r               |from BRAM | Current FW compare with file",
};

// The help's addition to the usage: one line for each option the usage leaves
// out.
constexpr const char16_t* kHelpLines[] = {
    u"\n\r Other options :",
    u"\n\r        tolvi /S 64          Save 64K of flash to XQRFW.bin",
    u"\n\r        tolvi /c ec.bin      Show the 16-bit checksum of ec.bin",
    u"\n\r        tolvi /T             Write test: erase 4K at 0, write 256 bytes of 88h",
    u"\n\r        tolvi ec.bin 64 /e   Flash, pre-entering with DEh instead of DDh",
    u"\n\r        tolvi /VC            Show the EC version string (EC RAM D8h-DFh)",
    u"\n\r        tolvi ec.bin 64 /D   Compare the flash with ec.bin; write nothing",
    u"\n\r        tolvi ec.bin 64 /U   Flash only the sectors that differ from ec.bin",
    u"\n\r        tolvi /?|-?|--help   Show this help",
};

}  // namespace

void vShowBanner() {
  SetCursorPosition(1, 1);
  Print(u" XQR Flash Utility Version : %s", kVersionText);
}

void vShowUsage() {
  vShowBanner();
  for (const char16_t* line : kUsageLines) Print(line);
}

void vShowHelp() {
  vShowUsage();
  for (const char16_t* line : kHelpLines) Print(line);
}
