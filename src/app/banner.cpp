// The program's texts about itself: the banner line, the usage screen and the
// help.
#include "app/option_table.h"
#include "platform/platform.h"
#include "tolvi.h"

namespace {

constexpr const char16_t* kVersionText = u"2.3.0";

// One Print per line, in screen order. The indents are part of the layout
// that support scripts match on, odd double blanks included. Two explanations
// go on over a second line, so that none passes column 79 of an 80-column
// screen, where the console would break it at any character.
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
    u"\n\r                Flash ec.bin 64K filesize from offset 0x1000 and NOT Reset",
    u"\n\r                after tolvi",
    u"\n\r        tolvi ec.bin 64 /O 0",
    u"\n\r                Flash ec.bin 64K filesize from offset 0 and Reset after tolvi",
    u"\n\r        tolvi ec.bin 4 /BK",
    u"\n\r                Flash ec.bin 4K filesize to BBK Sector",
    u"\n\r        tolvi ec.bin 60 /Mn",
    u"\n\r                Flash ec.bin 60K filesize  to Main code area",
    u"\n\r        tolvi ec.bin 60 /Bp",
    u"\n\r                Flash ec.bin 60K filesize  to Backup code area",
    // The protection takes no image: with one, the update would run instead.
    u"\n\r        tolvi /PB",
    u"\n\r                Protect BBK sector",
    u"\n\r        tolvi /V|/V 2 4|/VB 04A|/VBF ec.bin",
    u"\n\r                Show FW version from EC space start with offset 0 with 2 bytes",
    u"\n\r               |Show FW version from EC space start with offset 2(HEX) with",
    u"\n\r                4(DEC) bytes",
    u"\n\r               |from BRAM | Current FW compare with file",
};

constexpr size_t kUsageLineCount = sizeof kUsageLines / sizeof kUsageLines[0];
// The help's first screen ends after the /PB example: with the banner two
// rows down it fills an 80x25 screen but for the prompt's row.
constexpr size_t kFirstScreenLines = 21;

// The help's lines are the option table's, in two columns: the examples are
// padded with these blanks to the second.
constexpr char16_t kHelpPadding[] = u"                     ";

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
  vShowBanner();
  for (size_t i = 0; i < kFirstScreenLines; ++i) Print(kUsageLines[i]);
  // After the pause the erased prompt's row takes the next line, so the
  // second screen scrolls no line of itself away either.
  const bool paused = PauseForReader(u" Press a key for the rest of the help ...");
  Print(kUsageLines[kFirstScreenLines] + (paused ? 1 : 0));
  for (size_t i = kFirstScreenLines + 1; i < kUsageLineCount; ++i) Print(kUsageLines[i]);
  Print(u"\n\r Other options :");
  auto line = [](const char16_t* example, const char16_t* help) {
    size_t n = 0;
    while (example[n] != 0 && kHelpPadding[n] != 0) ++n;
    Print(u"\n\r        %s%s%s", example, kHelpPadding + n, help);
  };
  for (size_t r = 0; r < kProgramOptionCount; ++r) {
    const ProgramOption& row = kProgramOptions[r];
    if (row.help != nullptr) line(row.help_example, row.help);
  }
  line(u"tolvi /?|-?|--help", u"Show this help");
  Print(u"\n\r Exit status : 0 done; 1 not done, flash not changed: safe to power off;");
  Print(u"\n\r               2 flash changed, not complete (or EC kept in flash mode):");
  Print(u"\n\r               keep the power on and run the command again");
}
