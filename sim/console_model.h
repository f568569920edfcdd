// An 80 x 25 model of the firmware's text console: what a person would see on
// the screen. Text is applied as the UEFI simple-text-output protocol does:
// "\n" moves down a line without returning to column 0, "\r" returns to
// column 0, writing past the last column wraps, and a line feed on the bottom
// row scrolls the screen up.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct ConsoleSink;

struct ConsoleCell {
  char16_t ch;
  uint8_t attribute;
};

class ConsoleModel {
 public:
  static constexpr unsigned kColumns = 80;
  static constexpr unsigned kRows = 25;
  static constexpr uint8_t kDefaultAttribute = 0x07;  // light grey on black

  // Blank screen in the default attribute, cursor home.
  void Reset();

  // Narrow bytes are Latin-1 code points.
  void WriteNarrow(const char* text, size_t count);
  void WriteWide(const char16_t* text, size_t count);
  // Blanks the screen in the current attribute and homes the cursor.
  void Clear();
  // A position outside the screen is refused and the cursor stays.
  void SetCursor(unsigned column, unsigned row);
  void SetAttribute(unsigned attribute);

  const ConsoleCell& Cell(unsigned column, unsigned row) const { return cells_[row][column]; }
  unsigned CursorColumn() const { return column_; }
  unsigned CursorRow() const { return row_; }
  uint8_t Attribute() const { return attribute_; }

  // One row as UTF-8 without its trailing blanks, zero-terminated; returns the
  // length. A buffer of kColumns * 3 + 1 bytes always suffices.
  size_t RowText(unsigned row, char* buffer, size_t size) const;
  // Number of rows up to the last one that is not blank.
  unsigned UsedRows() const;

  // A sink that applies the console calls to this model.
  ConsoleSink MakeSink();

 private:
  void Put(char16_t ch);
  void LineFeed();
  void BlankRow(unsigned row);

  ConsoleCell cells_[kRows][kColumns];
  unsigned column_;
  unsigned row_;
  uint8_t attribute_;
};

// Appends the UTF-8 form of a UCS-2 character; returns the bytes written (at
// most 3), or 0 when it does not fit.
size_t EncodeUtf8(char16_t ch, char* out, size_t room);
