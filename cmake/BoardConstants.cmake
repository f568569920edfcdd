# Board constants. A board maker sets its own values with -D at configure
# time; the program's behaviour keyed on them is fixed, only the codes move.
#
# TOLVI_CHIP_FAMILY_CODES: the five values of super-I/O register 0x20 (chip
#   ID high byte) that mark a chip of the maker's families, in the order they
#   are tested. Comma separated.
# TOLVI_MODE_SELECT_MODEL: the 16-bit chip ID whose EC needs the pre-enter
#   command (0xDD, or 0xDE with /e) just before flash mode.
# TOLVI_HALF_BLOCK_MODEL_1 / _2: the two chip IDs that write a 256 KB image as
#   128 KB; the first of them also takes its image blocks two blocks further
#   on (BlockBase + 2).
set(TOLVI_CHIP_FAMILY_CODES "0x51,0x52,0x53,0x55,0x57" CACHE STRING
    "Super-I/O chip-family codes (register 0x20), in test order")
set(TOLVI_MODE_SELECT_MODEL "0x5570" CACHE STRING
    "Chip ID that needs the pre-enter command before 0xDC")
set(TOLVI_HALF_BLOCK_MODEL_1 "0x5325" CACHE STRING
    "First half-block chip ID (BlockBase offset by 2)")
set(TOLVI_HALF_BLOCK_MODEL_2 "0x5728" CACHE STRING
    "Second half-block chip ID")
