#include "sim/harness_options.h"

#include "sim/console_model.h"
#include "sim/faults.h"
#include "sim/sim_text.h"

namespace {

enum class ValueKind : uint8_t {
  kFlag,  // no value
  kText,  // the setter reads the text
  kHex,   // a number up to the row's limit, read before the setter sees it
  kDecimal,
  kFault,  // kText whose help goes on with the fault table
};

struct SimOption {
  const char* name;
  ValueKind kind;
  const char* value_name;  // in --help
  uint64_t limit;          // kHex, kDecimal
  // Stores the value. Returns null, or the start of a one-line message that
  // the value's text completes.
  const char* (*set)(SimOptions& options, const char* text, uint64_t number);
  const char* help;  // lines after the first are indented to the column of the first
  // The value as it would be typed; the defaults are these set through the
  // row's own setter. Null: the option has no value until given.
  const char* default_value;
};

// PORT:HH, both hexadecimal; a port named again takes the new answer.
const char* ScanFixedPort(BoardConfig& board, const char* text) {
  constexpr const char* kBad = "bad value for --port-answer (PORT:HH): ";
  char port_text[8];
  size_t n = 0;
  while (text[n] != '\0' && text[n] != ':' && n + 1 < sizeof(port_text)) {
    port_text[n] = text[n];
    ++n;
  }
  port_text[n] = '\0';
  uint64_t port = 0;
  uint64_t answer = 0;
  if (text[n] != ':' || !ParseUnsigned(port_text, 16, 0xFFFF, &port) ||
      !ParseUnsigned(text + n + 1, 16, 0xFF, &answer)) {
    return kBad;
  }
  size_t at = 0;
  while (at < board.fixed_port_count && board.fixed_ports[at].port != port) ++at;
  if (at == BoardConfig::kMaxFixedPorts) return "too many --port-answer ports: ";
  if (at == board.fixed_port_count) ++board.fixed_port_count;
  board.fixed_ports[at] = FixedPort{static_cast<uint16_t>(port), static_cast<uint8_t>(answer)};
  return nullptr;
}

using K = ValueKind;
using O = SimOptions;

// clang-format off
constexpr SimOption kOptions[] = {
    {"--flash", K::kText, "FILE", 0,
     [](O& o, const char* t, uint64_t) -> const char* { o.flash_path = t; return nullptr; },
     "flash contents, created erased when absent and\nwritten back at the end",
     "tolvi-sim-flash.bin"},
    {"--chip", K::kText, "NAME", 0,
     [](O& o, const char* t, uint64_t) -> const char* { o.chip_name = t; return nullptr; },
     "flash chip profile (--list-chips shows them)", nullptr},
    {"--list-chips", K::kFlag, nullptr, 0,
     [](O& o, const char*, uint64_t) -> const char* { o.list_chips = true; return nullptr; },
     "one line per chip profile", nullptr},
    {"--sio", K::kText, "2e|4e|none", 0,
     [](O& o, const char* t, uint64_t) -> const char* {
       if (TextEqual(t, "2e")) {
         o.board.sio.index_port = 0x2E;
       } else if (TextEqual(t, "4e")) {
         o.board.sio.index_port = 0x4E;
       } else if (TextEqual(t, "none")) {
         o.board.sio.index_port = 0;
       } else {
         return "bad value for --sio (2e, 4e or none): ";
       }
       return nullptr;
     },
     "where the super-I/O chip answers", "2e"},
    {"--chip-id", K::kHex, "HEX", 0xFFFF,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.sio.chip_id = static_cast<uint16_t>(n);
       return nullptr;
     },
     "super-I/O chip ID", "5512"},
    {"--bram-base", K::kHex, "HEX", 0xFFFE,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.sio.bram_base = static_cast<uint16_t>(n);
       return nullptr;
     },
     "base port of logical device 0x10", "70"},
    {"--bram-version", K::kText, "HH,LL", 0,
     [](O& o, const char* t, uint64_t) -> const char* {
       char high[8];
       size_t n = 0;
       while (t[n] != '\0' && t[n] != ',' && n + 1 < sizeof(high)) {
         high[n] = t[n];
         ++n;
       }
       high[n] = '\0';
       uint64_t h = 0;
       uint64_t l = 0;
       if (t[n] != ',' || !ParseUnsigned(high, 16, 0xFF, &h) ||
           !ParseUnsigned(t + n + 1, 16, 0xFF, &l)) {
         return "bad value for --bram-version (HH,LL): ";
       }
       o.board.sio.bram_high = static_cast<uint8_t>(h);
       o.board.sio.bram_low = static_cast<uint8_t>(l);
       return nullptr;
     },
     "BRAM bytes 0x10 and 0x11, the version's number\nand letter", "02,41"},
    {"--ec-ack", K::kHex, "HEX", 0xFF,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.ec.ack = static_cast<uint8_t>(n);
       return nullptr;
     },
     "the EC's answer to 0xDC", "33"},
    {"--no-ec", K::kFlag, nullptr, 0,
     [](O& o, const char*, uint64_t) -> const char* { o.board.no_ec = true; return nullptr; },
     "nothing decodes 0x62/0x66", nullptr},
    {"--port-answer", K::kText, "PORT:HH", 0,
     [](O& o, const char* t, uint64_t) -> const char* { return ScanFixedPort(o.board, t); },
     "the port answers every read with HH and its\nwrites reach nothing (a debug console with a\nreadback byte), repeatable", nullptr},
    {"--ec-ram", K::kText, "FILE", 0,
     [](O& o, const char* t, uint64_t) -> const char* { o.ec_ram_path = t; return nullptr; },
     "256 bytes of EC RAM (zeros and a version string\nat 0xD8 when not given)", nullptr},
    {"--ec-latency", K::kDecimal, "N", 0xFFFFFFFF,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.ec.ibf_latency = static_cast<uint32_t>(n);
       return nullptr;
     },
     "status reads with IBF still set after a write", "1"},
    {"--kbc-latency", K::kDecimal, "N", 0xFFFFFFFF,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.kbc.ibf_latency = static_cast<uint32_t>(n);
       return nullptr;
     },
     "the same for the keyboard controller", "1"},
    {"--kbc-pending", K::kDecimal, "N", 0xFFFFFFFF,
     [](O& o, const char*, uint64_t n) -> const char* {
       o.board.kbc.pending_bytes = static_cast<uint32_t>(n);
       return nullptr;
     },
     "output bytes waiting on 0x60 at start", "0"},
    {"--ec-pending", K::kDecimal, "N", 17,
     [](O& o, const char*, uint64_t n) -> const char* {
       // Bytes 00, 01, ... already wait on 0x62; the first replaces ec-stale's.
       o.board.ec.stale_output = n != 0;
       o.board.ec.stale_byte = 0x00;
       o.board.ec.stale_more = n != 0 ? static_cast<uint32_t>(n - 1) : 0;
       return nullptr;
     },
     "output bytes waiting on 0x62 at start", "0"},
    {"--bus-ns", K::kDecimal, "N", 1000000000,
     [](O& o, const char*, uint64_t n) -> const char* { o.board.bus_ns = n; return nullptr; },
     "simulated cost of one port access", "1000"},
    {"--fault", K::kFault, "KIND[:ARG]", 0,
     [](O& o, const char* t, uint64_t) -> const char* { return ScanFault(o, t); },
     "inject a fault, repeatable; KIND is one of:", nullptr},
    {"--trace", K::kText, "FILE", 0,
     [](O& o, const char* t, uint64_t) -> const char* { o.trace_path = t; return nullptr; },
     "transaction trace", nullptr},
    {"--trace-ports", K::kText, "FILE", 0,
     [](O& o, const char* t, uint64_t) -> const char* { o.trace_ports_path = t; return nullptr; },
     "every port access", nullptr},
    {"--interrupt-at", K::kDecimal, "N", UINT64_MAX,
     [](O& o, const char*, uint64_t n) -> const char* { o.interrupt_at = n; return nullptr; },
     "raise SIGINT at the Nth port access, on a host;\nthe flash file is then not written back",
     nullptr},
    {"--screen", K::kFlag, nullptr, 0,
     [](O& o, const char*, uint64_t) -> const char* {
       o.screen = true;
       return nullptr;
     },
     "print the final screen instead of the output, in\ncolour (ANSI SGR) where the program set one",
     nullptr},
    {"--screen-size", K::kText, "CxR", 0,
     [](O& o, const char* t, uint64_t) -> const char* {
       // COLSxROWS, within what the console model holds.
       char columns[8];
       size_t n = 0;
       while (t[n] != '\0' && t[n] != 'x' && n + 1 < sizeof(columns)) {
         columns[n] = t[n];
         ++n;
       }
       columns[n] = '\0';
       uint64_t c = 0;
       uint64_t r = 0;
       if (t[n] != 'x' || !ParseUnsigned(columns, 10, ConsoleModel::kMaxColumns, &c) ||
           !ParseUnsigned(t + n + 1, 10, ConsoleModel::kMaxRows, &r) || c == 0 || r == 0) {
         return "bad value for --screen-size (COLSxROWS, at most 240x100): ";
       }
       o.screen_columns = static_cast<unsigned>(c);
       o.screen_rows = static_cast<unsigned>(r);
       return nullptr;
     },
     "the console's columns and rows", "80x25"},
    {"--stats", K::kFlag, nullptr, 0,
     [](O& o, const char*, uint64_t) -> const char* { o.stats = true; return nullptr; },
     "print counters at the end", nullptr},
    {"--help", K::kFlag, nullptr, 0,
     [](O& o, const char*, uint64_t) -> const char* { o.help = true; return nullptr; },
     "this text", nullptr},
};
// clang-format on

bool StartsWith(const char* text, const char* prefix) {
  while (*prefix != '\0') {
    if (*text++ != *prefix++) return false;
  }
  return true;
}

class Scanner {
 public:
  Scanner(SimOptions* options, char* error, size_t error_size)
      : options_(options), error_(error), error_size_(error_size) {}

  bool Fail(const char* what, const char* argument) {
    TraceText line;
    line.Add(what);
    if (argument != nullptr) line.Add(argument);
    size_t n = line.Length() < error_size_ - 1 ? line.Length() : error_size_ - 1;
    __builtin_memcpy(error_, line.Text(), n);
    error_[n] = '\0';
    return false;
  }

  // Scans one option at argv[*index]; advances *index past its value.
  bool Option(int argc, char** argv, int* index) {
    const char* name = argv[*index];
    for (const SimOption& row : kOptions) {
      if (!TextEqual(row.name, name)) continue;
      const char* text = nullptr;
      if (row.kind != K::kFlag) {
        if (*index + 1 >= argc) return Fail("missing value after ", name);
        text = argv[++*index];
      }
      uint64_t number = 0;
      if ((row.kind == K::kHex || row.kind == K::kDecimal) &&
          !ParseUnsigned(text, row.kind == K::kHex ? 16 : 10, row.limit, &number)) {
        TraceText line;
        line.Add("bad value for ").Add(name).Add(": ");
        return Fail(line.Text(), text);
      }
      const char* refusal = row.set(*options_, text, number);
      return refusal == nullptr || Fail(refusal, text);
    }
    return Fail("unknown option: ", name);
  }

 private:
  SimOptions* options_;
  char* error_;
  size_t error_size_;
};

// Column of the help texts.
constexpr size_t kHelpColumn = 24;

struct UsageWriter {
  void (*write)(void* context, const char* text);
  void* context;

  // One entry: its left part (already in the line), the help text from the
  // help column, later help lines indented to it, and a suffix after the last.
  void Entry(TraceText& left, const char* help, const char* suffix) {
    const char* at = help;
    for (bool first = true;; first = false) {
      TraceText continuation;
      TraceText& line = first ? left : continuation;
      line.PadTo(kHelpColumn);
      while (*at != '\0' && *at != '\n') line.Char(*at++);
      const bool last = *at == '\0';
      if (last && suffix != nullptr) line.Add(suffix);
      line.Char('\n');
      write(context, line.Text());
      if (last) return;
      ++at;
    }
  }

  void Option(const SimOption& row) {
    TraceText left;
    left.Add("  ").Add(row.name);
    if (row.value_name != nullptr) left.Char(' ').Add(row.value_name);
    TraceText suffix;
    if (row.default_value != nullptr) suffix.Add(" (").Add(row.default_value).Char(')');
    Entry(left, row.help, suffix.Text());
  }

  void Fault(const FaultKind& row) {
    TraceText left;
    left.Add("    ").Add(row.name);
    TraceText suffix;
    if (row.argument == FaultArgument::kOptional) {
      left.Add("[:").Add(row.argument_name).Char(']');
      suffix.Add(" (");
      if (row.base == 16) {
        suffix.Hex(row.default_argument);
      } else {
        suffix.Dec(row.default_argument);
      }
      suffix.Char(')');
    } else if (row.argument == FaultArgument::kRequired) {
      left.Char(':').Add(row.argument_name);
    }
    Entry(left, row.help, suffix.Text());
  }
};

}  // namespace
void DefaultSimOptions(SimOptions* options) {
  __builtin_memset(options, 0, sizeof(*options));
  options->file_write_limit = UINT64_MAX;
  for (const SimOption& row : kOptions) {
    if (row.default_value == nullptr) continue;
    uint64_t number = 0;
    if (row.kind == K::kHex || row.kind == K::kDecimal) {
      ParseUnsigned(row.default_value, row.kind == K::kHex ? 16 : 10, row.limit, &number);
    }
    row.set(*options, row.default_value, number);
  }
}

BoardConfig DefaultBoardConfig() {
  SimOptions options;
  DefaultSimOptions(&options);
  return options.board;
}

bool ParseSimOptions(int argc, char** argv, SimOptions* options, char* error, size_t error_size) {
  DefaultSimOptions(options);
  if (error_size > 0) error[0] = '\0';

  int separator = -1;
  for (int i = 1; i < argc; ++i) {
    if (TextEqual(argv[i], "--")) {
      separator = i;
      break;
    }
  }
  Scanner scanner(options, error, error_size);
  int index = 1;
  int board_end = separator >= 0 ? separator : argc;
  for (; index < board_end; ++index) {
    if (!StartsWith(argv[index], "--")) {
      // Without "--", the program's arguments start here.
      if (separator < 0) break;
      return scanner.Fail("not a board option (the program's arguments go after --): ",
                          argv[index]);
    }
    if (!scanner.Option(board_end, argv, &index)) return false;
  }
  int first = separator >= 0 ? separator + 1 : index;
  options->program_argc = argc - first;
  options->program_argv = argv + first;
  return true;
}

void WriteSimUsage(void (*write)(void* context, const char* text), void* context) {
  write(context,
        "usage: tolvi-sim [BOARD OPTIONS] -- [TOLVI ARGUMENTS]\n"
        "Runs tolvi against the board model; exits with tolvi's exit status\n"
        "(2 for a bad board option). Without --, leading --options are board\n"
        "options and the rest goes to tolvi.\n"
        "\n");
  UsageWriter writer{write, context};
  for (const SimOption& row : kOptions) {
    writer.Option(row);
    if (row.kind != K::kFault) continue;
    for (size_t i = 0; i < FaultKindCount(); ++i) writer.Fault(FaultKindAt(i));
  }
}
