#include "sim/console_model.h"

#include "platform/provider.h"

void ConsoleModel::Reset(unsigned columns, unsigned rows) {
  columns_ = columns < 1 ? 1 : columns > kMaxColumns ? kMaxColumns : columns;
  rows_ = rows < 1 ? 1 : rows > kMaxRows ? kMaxRows : rows;
  attribute_ = kDefaultAttribute;
  Clear();
}

void ConsoleModel::BlankRow(unsigned row) {
  for (unsigned column = 0; column < columns_; ++column) {
    cells_[row][column] = ConsoleCell{u' ', attribute_};
  }
}

void ConsoleModel::Clear() {
  for (unsigned row = 0; row < rows_; ++row) BlankRow(row);
  line_ends_.Break();
  column_ = 0;
  row_ = 0;
}

void ConsoleModel::SetCursor(unsigned column, unsigned row) {
  line_ends_.Break();
  if (column >= columns_ || row >= rows_) return;
  column_ = column;
  row_ = row;
}

void ConsoleModel::SetAttribute(unsigned attribute) {
  // Bit 7 is not part of a text attribute (foreground bits 0-3, background 4-6).
  attribute_ = static_cast<uint8_t>(attribute & 0x7F);
}

void ConsoleModel::LineFeed() {
  if (row_ + 1 < rows_) {
    ++row_;
    return;
  }
  for (unsigned row = 0; row + 1 < rows_; ++row) {
    for (unsigned column = 0; column < columns_; ++column) {
      cells_[row][column] = cells_[row + 1][column];
    }
  }
  BlankRow(rows_ - 1);
}

void ConsoleModel::Put(char16_t ch) {
  switch (ch) {
    case u'\0':
      return;
    case u'\n':
      LineFeed();
      return;
    case u'\r':
      column_ = 0;
      return;
    case u'\b':
      if (column_ > 0) --column_;
      return;
    default:
      cells_[row_][column_] = ConsoleCell{ch, attribute_};
      if (++column_ == columns_) {
        column_ = 0;
        LineFeed();
      }
      return;
  }
}

void ConsoleModel::WriteNarrow(const char* text, size_t count) {
  for (size_t i = 0; i < count; ++i) Put(static_cast<char16_t>(static_cast<uint8_t>(text[i])));
}

void ConsoleModel::WriteWide(const char16_t* text, size_t count) {
  for (size_t i = 0; i < count; ++i) Put(text[i]);
}

void ConsoleModel::PrintNarrow(const char* text, size_t count) {
  line_ends_.Translate(text, count, [this](const char* piece, size_t n) { WriteNarrow(piece, n); });
}

void ConsoleModel::PrintWide(const char16_t* text, size_t count) {
  line_ends_.Translate(text, count,
                       [this](const char16_t* piece, size_t n) { WriteWide(piece, n); });
}

size_t EncodeUtf8(char16_t ch, char* out, size_t room) {
  if (ch < 0x80) {
    if (room < 1) return 0;
    out[0] = static_cast<char>(ch);
    return 1;
  }
  if (ch < 0x800) {
    if (room < 2) return 0;
    out[0] = static_cast<char>(0xC0 | (ch >> 6));
    out[1] = static_cast<char>(0x80 | (ch & 0x3F));
    return 2;
  }
  if (room < 3) return 0;
  out[0] = static_cast<char>(0xE0 | (ch >> 12));
  out[1] = static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
  out[2] = static_cast<char>(0x80 | (ch & 0x3F));
  return 3;
}

size_t ConsoleModel::RowText(unsigned row, char* buffer, size_t size) const {
  if (size == 0) return 0;
  unsigned end = columns_;
  while (end > 0 && cells_[row][end - 1].ch == u' ') --end;
  size_t length = 0;
  for (unsigned column = 0; column < end; ++column) {
    size_t added = EncodeUtf8(cells_[row][column].ch, buffer + length, size - 1 - length);
    if (added == 0) break;
    length += added;
  }
  buffer[length] = '\0';
  return length;
}

unsigned ConsoleModel::UsedRows() const {
  unsigned used = rows_;
  while (used > 0) {
    bool blank = true;
    for (unsigned column = 0; column < columns_ && blank; ++column) {
      blank = cells_[used - 1][column].ch == u' ';
    }
    if (!blank) break;
    --used;
  }
  return used;
}

namespace {
ConsoleModel* Model(void* context) { return static_cast<ConsoleModel*>(context); }
}  // namespace

ConsoleSink ConsoleModel::MakeSink() {
  ConsoleSink sink{};
  sink.context = this;
  sink.write_narrow = [](void* context, const char* text, size_t count) {
    Model(context)->PrintNarrow(text, count);
  };
  sink.write_wide = [](void* context, const char16_t* text, size_t count) {
    Model(context)->PrintWide(text, count);
  };
  sink.clear = [](void* context) { Model(context)->Clear(); };
  sink.set_cursor = [](void* context, unsigned column, unsigned row) {
    Model(context)->SetCursor(column, row);
  };
  sink.set_attribute = [](void* context, unsigned attribute) {
    Model(context)->SetAttribute(attribute);
  };
  return sink;
}
