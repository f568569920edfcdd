// The usage's lines after the banner, as written down from the usage screen
// the program must show (tests/support/usage_text.sh holds the same for the
// shell tests).
#pragma once

namespace simtest {

inline const char* const kUsageLines[] = {
    " Usage : ",
    "        tolvi <ec filename> [filesize][/BK][/Mn][/Bp][/PB][/k][/O offset]",
    "        ",
    " Example :",
    "        tolvi ec.bin 64",
    "                Flash ec.bin filesize 64K to SPI",
    "        tolvi ec.bin 64 /k",
    "                Flash ec.bin filesize 64K and skip KBC command",
    "        tolvi ec.bin 64 /O 1000 /j",
    "                Flash ec.bin 64K filesize from offset 0x1000 and NOT Reset",
    "                after tolvi",
    "        tolvi ec.bin 64 /O 0",
    "                Flash ec.bin 64K filesize from offset 0 and Reset after tolvi",
    "        tolvi ec.bin 4 /BK",
    "                Flash ec.bin 4K filesize to BBK Sector",
    "        tolvi ec.bin 60 /Mn",
    "                Flash ec.bin 60K filesize  to Main code area",
    "        tolvi ec.bin 60 /Bp",
    "                Flash ec.bin 60K filesize  to Backup code area",
    "        tolvi /PB",
    "                Protect BBK sector",
    "        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin",
    "                Show FW version from EC space start with offset 0 with 2 bytes",
    "               |Show FW version from EC space start with offset 2(HEX) with",
    "                4(DEC) bytes",
    "               |from BRAM | Current FW compare with file",
};

}  // namespace simtest
