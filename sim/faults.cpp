#include "sim/faults.h"

#include "sim/flash/flash_chip.h"
#include "sim/harness_options.h"
#include "sim/sim_text.h"

namespace {

using A = FaultArgument;

// clang-format off
constexpr FaultKind kFaults[] = {
    {"ec-ibf-stuck", A::kOptional, 10, 1, 0xFFFFFFFF, 1, "N",
     [](SimOptions& o, uint64_t n) { o.board.ec.ibf_stuck_from = n; }, ChipFault::kNone,
     "the EC's input buffer stays full from write N on"},
    {"kbc-ibf-stuck", A::kOptional, 10, 1, 0xFFFFFFFF, 1, "N",
     [](SimOptions& o, uint64_t n) { o.board.kbc.ibf_stuck_from = n; }, ChipFault::kNone,
     "the same for the keyboard controller"},
    {"ec-no-obf", A::kNone, 0, 0, 0, 0, nullptr,
     [](SimOptions& o, uint64_t) { o.board.ec.no_obf = true; }, ChipFault::kNone,
     "the EC's answers are lost"},
    {"kbc-obf-stuck", A::kNone, 0, 0, 0, 0, nullptr,
     [](SimOptions& o, uint64_t) { o.board.kbc.obf_stuck = true; }, ChipFault::kNone,
     "a byte always waits on 0x60"},
    {"ec-stale", A::kOptional, 16, 0, 0xFF, 0x00, "HH",
     [](SimOptions& o, uint64_t b) {
       o.board.ec.stale_output = true;
       o.board.ec.stale_byte = static_cast<uint8_t>(b);
     }, ChipFault::kNone,
     "a byte already waits on 0x62"},
    // 0x86 belongs to none of the configured chip families.
    {"sio-foreign", A::kOptional, 16, 0, 0xFF, 0x86, "HH",
     [](SimOptions& o, uint64_t b) {
       o.board.sio.foreign_family = true;
       o.board.sio.foreign_code = static_cast<uint8_t>(b);
     }, ChipFault::kNone,
     "super-I/O register 0x20 answers HH"},
    {"file-short", A::kOptional, 10, 0, UINT64_MAX - 1, 0, "N",
     [](SimOptions& o, uint64_t n) { o.file_write_limit = n; }, ChipFault::kNone,
     "program file writes come up short after N bytes"},
    {"busy-stuck", A::kIgnored, 0, 0, 0, 0, nullptr, nullptr, ChipFault::kBusyStuck,
     "the flash's next write cycle never ends"},
    {"wel-never-sets", A::kIgnored, 0, 0, 0, 0, nullptr, nullptr, ChipFault::kWelNeverSets,
     "0x06 does not set the write-enable latch"},
    {"wel-never-clears", A::kIgnored, 0, 0, 0, 0, nullptr, nullptr, ChipFault::kWelNeverClears,
     "the write-enable latch stays set"},
    {"wp-low", A::kIgnored, 0, 0, 0, 0, nullptr, nullptr, ChipFault::kWpLow,
     "WP# held low: the status lock bits take effect"},
    {"bit-stuck", A::kRequired, 16, 0, UINT64_MAX, 0, "ADDR", nullptr, ChipFault::kBitStuck,
     "a bit the program clears at ADDR stays 1"},
    {"bit-stuck-random", A::kRequired, 10, 0, UINT64_MAX, 0, "SEED", nullptr,
     ChipFault::kBitStuckRandom,
     "the same at an address SEED picks"},
    {"erase-leaves", A::kRequired, 16, 0, UINT64_MAX, 0, "ADDR", nullptr, ChipFault::kEraseLeaves,
     "an erase leaves 0xFE at ADDR"},
    {"bit-stuck-once", A::kRequired, 16, 0, UINT64_MAX, 0, "ADDR", nullptr,
     ChipFault::kBitStuckOnce,
     "as bit-stuck for the first program that clears a bit there"},
    {"erase-leaves-once", A::kRequired, 16, 0, UINT64_MAX, 0, "ADDR", nullptr,
     ChipFault::kEraseLeavesOnce,
     "as erase-leaves for the first erase that covers ADDR"},
};
// clang-format on

}  // namespace

size_t FaultKindCount() { return sizeof(kFaults) / sizeof(kFaults[0]); }

const FaultKind& FaultKindAt(size_t index) { return kFaults[index]; }

FaultText SplitFault(const char* text) {
  FaultText split{};
  size_t n = 0;
  while (text[n] != '\0' && text[n] != ':' && n + 1 < sizeof(split.kind)) {
    split.kind[n] = text[n];
    ++n;
  }
  split.kind[n] = '\0';
  while (text[n] != '\0' && text[n] != ':') ++n;
  if (text[n] == ':') split.argument = text + n + 1;
  return split;
}

const FaultKind* FindFault(const char* kind) {
  for (const FaultKind& row : kFaults) {
    if (TextEqual(row.name, kind)) return &row;
  }
  return nullptr;
}

bool FaultArgumentValue(const FaultKind& row, const char* argument, uint64_t* value) {
  *value = row.default_argument;
  switch (row.argument) {
    case A::kNone:
      return argument == nullptr;
    case A::kIgnored:
      return true;
    case A::kOptional:
      if (argument == nullptr) return true;
      break;
    case A::kRequired:
      break;
  }
  return ParseUnsigned(argument, row.base, row.max, value) && *value >= row.min;
}

const char* ScanFault(SimOptions& options, const char* text) {
  const FaultText split = SplitFault(text);
  if (split.kind[0] == '\0') return "bad fault: ";
  const FaultKind* row = FindFault(split.kind);
  // A board fault with an argument it does not take, like any kind the board
  // does not know, is the flash chip's to refuse.
  if (row != nullptr && row->board != nullptr &&
      !(row->argument == A::kNone && split.argument != nullptr)) {
    uint64_t value = 0;
    if (!FaultArgumentValue(*row, split.argument, &value)) return "bad fault argument: ";
    row->board(options, value);
    return nullptr;
  }
  if (options.chip_fault_count == SimOptions::kMaxChipFaults) return "too many faults: ";
  options.chip_faults[options.chip_fault_count++] = text;
  return nullptr;
}
