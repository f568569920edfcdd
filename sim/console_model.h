// A model of the firmware's text console (80 x 25 unless resized): what a
// person would see on the screen. Write* apply text as the UEFI
// simple-text-output protocol does: "\n" moves down a line without returning
// to column 0, "\r" returns to column 0, writing past the last column wraps,
// and a line feed on the bottom row scrolls the screen up. Print* take the
// program's text as the firmware's print library passes it on.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "platform/line_ends.h"

struct ConsoleSink;

struct ConsoleCell {
  char16_t ch;
  uint8_t attribute;
};

class ConsoleModel {
 public:
  static constexpr unsigned kColumns = 80;  // the size after Reset()
  static constexpr unsigned kRows = 25;
  static constexpr unsigned kMaxColumns = 240;
  static constexpr unsigned kMaxRows = 100;
  static constexpr uint8_t kDefaultAttribute = 0x07;  // light grey on black

  // Blank screen of the given size (clamped to 1..kMax*) in the default
  // attribute, cursor home.
  void Reset(unsigned columns = kColumns, unsigned rows = kRows);
  unsigned Columns() const { return columns_; }
  unsigned Rows() const { return rows_; }

  // Narrow bytes are Latin-1 code points.
  void WriteNarrow(const char* text, size_t count);
  void WriteWide(const char16_t* text, size_t count);
  // The same text with its line ends translated first.
  void PrintNarrow(const char* text, size_t count);
  void PrintWide(const char16_t* text, size_t count);
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
  // length. A buffer of kMaxColumns * 3 + 1 bytes always suffices.
  size_t RowText(unsigned row, char* buffer, size_t size) const;
  // Number of rows up to the last one that is not blank.
  unsigned UsedRows() const;

  // A sink that applies the program's console calls to this model.
  ConsoleSink MakeSink();

 private:
  void Put(char16_t ch);
  void LineFeed();
  void BlankRow(unsigned row);

  ConsoleCell cells_[kMaxRows][kMaxColumns] = {};
  unsigned columns_ = 0;
  unsigned rows_ = 0;
  unsigned column_ = 0;
  unsigned row_ = 0;
  uint8_t attribute_ = 0;
  LineEnds line_ends_;
};

// Appends the UTF-8 form of a UCS-2 character; returns the bytes written (at
// most 3), or 0 when it does not fit.
size_t EncodeUtf8(char16_t ch, char* out, size_t room);
