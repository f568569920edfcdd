# Sourced by the tests that run the built program: the usage text it prints
# when called without arguments, as written down from the usage screen it
# must show, with EOL between lines.
#
#   usage_text EOL
usage_text() {
  local eol=$1 text=" XQR Flash Utility Version : 2.3.0" line
  for line in \
    " Usage : " \
    "        tolvi <ec filename> [filesize][/BK][/Mn][/Bp][/PB][/k][/O offset]" \
    "        " \
    " Example :" \
    "        tolvi ec.bin 64" \
    "                Flash ec.bin filesize 64K to SPI" \
    "        tolvi ec.bin 64 /k" \
    "                Flash ec.bin filesize 64K and skip KBC command" \
    "        tolvi ec.bin 64 /O 1000 /j" \
    "                Flash ec.bin 64K filesize from offset 0x1000 and NOT Reset" \
    "                after tolvi" \
    "        tolvi ec.bin 64 /O 0" \
    "                Flash ec.bin 64K filesize from offset 0 and Reset after tolvi" \
    "        tolvi ec.bin 4 /BK" \
    "                Flash ec.bin 4K filesize to BBK Sector" \
    "        tolvi ec.bin 60 /Mn" \
    "                Flash ec.bin 60K filesize  to Main code area" \
    "        tolvi ec.bin 60 /Bp" \
    "                Flash ec.bin 60K filesize  to Backup code area" \
    "        tolvi /PB" \
    "                Protect BBK sector" \
    "        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin" \
    "                Show FW version from EC space start with offset 0 with 2 bytes" \
    "               |Show FW version from EC space start with offset 2(HEX) with" \
    "                4(DEC) bytes" \
    "               |from BRAM | Current FW compare with file"; do
    text+="$eol$line"
  done
  printf '%s' "$text"
}
