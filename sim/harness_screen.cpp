// --screen: the console model's final picture, drawn after the run.
#include "platform/platform.h"
#include "sim/harness_state.h"
#include "sim/sim_text.h"

namespace {

// A blank on the default background is what the screen shows past a row's text.
unsigned RowEnd(const ConsoleModel& console, unsigned row) {
  unsigned end = console.Columns();
  while (end > 0) {
    const ConsoleCell& cell = console.Cell(end - 1, row);
    if (cell.ch != u' ' || (cell.attribute & 0x70) != (ConsoleModel::kDefaultAttribute & 0x70)) {
      break;
    }
    --end;
  }
  return end;
}

// The ANSI colour of a firmware attribute: the firmware numbers its colours
// blue-green-red by bit, the terminal red-green-blue; bit 3 is brightness.
void AppendSgr(TextLine& text, uint8_t attribute) {
  static const unsigned kAnsiOfFirmware[8] = {0, 4, 2, 6, 1, 5, 3, 7};
  if (attribute == ConsoleModel::kDefaultAttribute) {
    text.Add("\x1b[0m");
    return;
  }
  const unsigned foreground = attribute & 0x0F;
  text.Add("\x1b[")
      .Dec(((foreground & 0x08) != 0 ? 90 : 30) + kAnsiOfFirmware[foreground & 0x07])
      .Char(';')
      .Dec(40 + kAnsiOfFirmware[(attribute >> 4) & 0x07])
      .Char('m');
}

}  // namespace

// The final screen, row by row, with the colours where they change.
void PrintScreen() {
  const ConsoleModel& console = g_console;
  const SimHooks* hooks = g_harness.hooks;
  unsigned rows = console.UsedRows();
  if (hooks == nullptr || hooks->out == nullptr) {
    // The firmware console takes the cells as they are, in UCS-2, and its
    // colours through the attribute.
    for (unsigned row = 0; row < rows; ++row) {
      char16_t text[ConsoleModel::kMaxColumns + 2];
      const unsigned end = RowEnd(console, row);
      uint8_t shown = ConsoleModel::kDefaultAttribute;
      size_t used = 0;
      for (unsigned column = 0; column < end; ++column) {
        const ConsoleCell& cell = console.Cell(column, row);
        if (cell.attribute != shown) {
          PlatConsoleWriteWide(text, used);
          used = 0;
          PlatConsoleSetAttribute(shown = cell.attribute);
        }
        text[used++] = cell.ch;
      }
      PlatConsoleWriteWide(text, used);
      if (shown != ConsoleModel::kDefaultAttribute) {
        PlatConsoleSetAttribute(ConsoleModel::kDefaultAttribute);
      }
      PlatConsoleWriteWide(u"\r\n", 2);
    }
    return;
  }
  // Every cell may change the colour: an escape and a character each.
  static char buffer[ConsoleModel::kMaxColumns * 16 + 8];
  for (unsigned row = 0; row < rows; ++row) {
    TextLine line(buffer, sizeof(buffer));
    const unsigned end = RowEnd(console, row);
    uint8_t shown = ConsoleModel::kDefaultAttribute;
    for (unsigned column = 0; column < end; ++column) {
      const ConsoleCell& cell = console.Cell(column, row);
      if (cell.attribute != shown) AppendSgr(line, shown = cell.attribute);
      char bytes[3];
      const size_t n = EncodeUtf8(cell.ch, bytes, sizeof(bytes));
      for (size_t i = 0; i < n; ++i) line.Char(bytes[i]);
    }
    if (shown != ConsoleModel::kDefaultAttribute) AppendSgr(line, ConsoleModel::kDefaultAttribute);
    line.Char('\n');
    HarnessOut(line.Text());
  }
}
