#include "sim/harness_options.h"

#include "sim/console_model.h"
#include "sim/sim_text.h"

namespace {

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
  bool Option(int argc, char** argv, int* index);

 private:
  bool Value(int argc, char** argv, int* index, const char** value) {
    if (*index + 1 >= argc) return Fail("missing value after ", argv[*index]);
    *value = argv[++*index];
    return true;
  }
  bool Number(int argc, char** argv, int* index, unsigned base, uint64_t limit, uint64_t* number) {
    const char* option = argv[*index];
    const char* text;
    if (!Value(argc, argv, index, &text)) return false;
    if (!ParseUnsigned(text, base, limit, number)) {
      TraceText line;
      line.Add("bad value for ").Add(option).Add(": ");
      return Fail(line.Text(), text);
    }
    return true;
  }
  bool Fault(const char* fault_text);

  SimOptions* options_;
  char* error_;
  size_t error_size_;
};

bool Scanner::Fault(const char* fault_text) {
  BoardConfig& board = options_->board;
  const char* arg = nullptr;
  char kind[40];
  size_t n = 0;
  while (fault_text[n] != '\0' && fault_text[n] != ':' && n + 1 < sizeof(kind)) {
    kind[n] = fault_text[n];
    ++n;
  }
  kind[n] = '\0';
  if (fault_text[n] == ':') arg = fault_text + n + 1;
  uint64_t number = 0;
  bool has_number = false;
  auto parse = [&](unsigned base, uint64_t limit) {
    if (arg == nullptr) return true;
    has_number = ParseUnsigned(arg, base, limit, &number);
    return has_number;
  };

  if (TextEqual(kind, "ec-ibf-stuck") || TextEqual(kind, "kbc-ibf-stuck")) {
    // ARG: the write, counted from 1, from which the input buffer stays full.
    if (!parse(10, 0xFFFFFFFF) || (has_number && number == 0)) {
      return Fail("bad fault argument: ", fault_text);
    }
    uint64_t from = has_number ? number : 1;
    if (kind[0] == 'e') {
      board.ec.ibf_stuck_from = from;
    } else {
      board.kbc.ibf_stuck_from = from;
    }
    return true;
  }
  if (TextEqual(kind, "ec-no-obf") && arg == nullptr) {
    board.ec.no_obf = true;
    return true;
  }
  if (TextEqual(kind, "kbc-obf-stuck") && arg == nullptr) {
    board.kbc.obf_stuck = true;
    return true;
  }
  if (TextEqual(kind, "ec-stale")) {
    if (!parse(16, 0xFF)) return Fail("bad fault argument: ", fault_text);
    board.ec.stale_output = true;
    board.ec.stale_byte = has_number ? static_cast<uint8_t>(number) : 0x00;
    return true;
  }
  if (TextEqual(kind, "sio-foreign")) {
    if (!parse(16, 0xFF)) return Fail("bad fault argument: ", fault_text);
    board.sio.foreign_family = true;
    // 0x86 belongs to none of the configured chip families.
    board.sio.foreign_code = has_number ? static_cast<uint8_t>(number) : 0x86;
    return true;
  }
  if (TextEqual(kind, "file-short")) {
    // ARG: bytes written in full before the program's file writes come up
    // short (default 0: the first write already does).
    if (!parse(10, UINT64_MAX - 1)) return Fail("bad fault argument: ", fault_text);
    options_->file_write_limit = has_number ? number : 0;
    return true;
  }
  if (kind[0] == '\0') return Fail("bad fault: ", fault_text);
  // Everything else is the flash chip's to accept or refuse.
  if (options_->chip_fault_count == SimOptions::kMaxChipFaults) {
    return Fail("too many faults: ", fault_text);
  }
  options_->chip_faults[options_->chip_fault_count++] = fault_text;
  return true;
}

bool Scanner::Option(int argc, char** argv, int* index) {
  const char* option = argv[*index];
  BoardConfig& board = options_->board;
  uint64_t number = 0;
  const char* text = nullptr;

  if (TextEqual(option, "--help")) {
    options_->help = true;
  } else if (TextEqual(option, "--list-chips")) {
    options_->list_chips = true;
  } else if (TextEqual(option, "--screen")) {
    options_->screen = true;
  } else if (TextEqual(option, "--screen-size")) {
    if (!Value(argc, argv, index, &text)) return false;
    // COLSxROWS, within what the console model holds.
    char columns[8];
    size_t n = 0;
    while (text[n] != '\0' && text[n] != 'x' && n + 1 < sizeof(columns)) {
      columns[n] = text[n];
      ++n;
    }
    columns[n] = '\0';
    uint64_t rows = 0;
    if (text[n] != 'x' || !ParseUnsigned(columns, 10, ConsoleModel::kMaxColumns, &number) ||
        !ParseUnsigned(text + n + 1, 10, ConsoleModel::kMaxRows, &rows) || number == 0 ||
        rows == 0) {
      return Fail("bad value for --screen-size (COLSxROWS, at most 240x100): ", text);
    }
    options_->screen_columns = static_cast<unsigned>(number);
    options_->screen_rows = static_cast<unsigned>(rows);
  } else if (TextEqual(option, "--stats")) {
    options_->stats = true;
  } else if (TextEqual(option, "--no-ec")) {
    board.no_ec = true;
  } else if (TextEqual(option, "--flash")) {
    return Value(argc, argv, index, &options_->flash_path);
  } else if (TextEqual(option, "--chip")) {
    return Value(argc, argv, index, &options_->chip_name);
  } else if (TextEqual(option, "--ec-ram")) {
    return Value(argc, argv, index, &options_->ec_ram_path);
  } else if (TextEqual(option, "--trace")) {
    return Value(argc, argv, index, &options_->trace_path);
  } else if (TextEqual(option, "--trace-ports")) {
    return Value(argc, argv, index, &options_->trace_ports_path);
  } else if (TextEqual(option, "--fault")) {
    return Value(argc, argv, index, &text) && Fault(text);
  } else if (TextEqual(option, "--sio")) {
    if (!Value(argc, argv, index, &text)) return false;
    if (TextEqual(text, "2e")) {
      board.sio.index_port = 0x2E;
    } else if (TextEqual(text, "4e")) {
      board.sio.index_port = 0x4E;
    } else if (TextEqual(text, "none")) {
      board.sio.index_port = 0;
    } else {
      return Fail("bad value for --sio (2e, 4e or none): ", text);
    }
  } else if (TextEqual(option, "--chip-id")) {
    if (!Number(argc, argv, index, 16, 0xFFFF, &number)) return false;
    board.sio.chip_id = static_cast<uint16_t>(number);
  } else if (TextEqual(option, "--bram-base")) {
    if (!Number(argc, argv, index, 16, 0xFFFE, &number)) return false;
    board.sio.bram_base = static_cast<uint16_t>(number);
  } else if (TextEqual(option, "--ec-ack")) {
    if (!Number(argc, argv, index, 16, 0xFF, &number)) return false;
    board.ec.ack = static_cast<uint8_t>(number);
  } else if (TextEqual(option, "--bram-version")) {
    if (!Value(argc, argv, index, &text)) return false;
    // HH,LL: two hexadecimal bytes.
    char high[8];
    size_t n = 0;
    while (text[n] != '\0' && text[n] != ',' && n + 1 < sizeof(high)) {
      high[n] = text[n];
      ++n;
    }
    high[n] = '\0';
    uint64_t low = 0;
    if (text[n] != ',' || !ParseUnsigned(high, 16, 0xFF, &number) ||
        !ParseUnsigned(text + n + 1, 16, 0xFF, &low)) {
      return Fail("bad value for --bram-version (HH,LL): ", text);
    }
    board.sio.bram_high = static_cast<uint8_t>(number);
    board.sio.bram_low = static_cast<uint8_t>(low);
  } else if (TextEqual(option, "--ec-latency")) {
    if (!Number(argc, argv, index, 10, 0xFFFFFFFF, &number)) return false;
    board.ec.ibf_latency = static_cast<uint32_t>(number);
  } else if (TextEqual(option, "--kbc-latency")) {
    if (!Number(argc, argv, index, 10, 0xFFFFFFFF, &number)) return false;
    board.kbc.ibf_latency = static_cast<uint32_t>(number);
  } else if (TextEqual(option, "--kbc-pending")) {
    if (!Number(argc, argv, index, 10, 0xFFFFFFFF, &number)) return false;
    board.kbc.pending_bytes = static_cast<uint32_t>(number);
  } else if (TextEqual(option, "--bus-ns")) {
    if (!Number(argc, argv, index, 10, 1000000000, &number)) return false;
    board.bus_ns = number;
  } else {
    return Fail("unknown option: ", option);
  }
  return true;
}

}  // namespace

bool ParseSimOptions(int argc, char** argv, SimOptions* options, char* error, size_t error_size) {
  __builtin_memset(options, 0, sizeof(*options));
  options->board = DefaultBoardConfig();
  options->flash_path = "tolvi-sim-flash.bin";
  options->file_write_limit = UINT64_MAX;
  options->screen_columns = ConsoleModel::kColumns;
  options->screen_rows = ConsoleModel::kRows;
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

const char* SimUsageText() {
  return "usage: tolvi-sim [BOARD OPTIONS] -- [TOLVI ARGUMENTS]\n"
         "Runs tolvi against the board model; exits with tolvi's exit status\n"
         "(2 for a bad board option). Without --, leading --options are board\n"
         "options and the rest goes to tolvi.\n"
         "\n"
         "  --flash FILE          flash contents, created erased when absent and\n"
         "                        written back at the end (tolvi-sim-flash.bin)\n"
         "  --chip NAME           flash chip profile (--list-chips shows them)\n"
         "  --list-chips          one line per chip profile\n"
         "  --sio 2e|4e|none      where the super-I/O chip answers (2e)\n"
         "  --chip-id HEX         super-I/O chip ID (5512)\n"
         "  --bram-base HEX       base port of logical device 0x10 (70)\n"
         "  --bram-version HH,LL  BRAM bytes 0x10 and 0x11 (02,41: version 02A)\n"
         "  --ec-ack HEX          the EC's answer to 0xDC (33)\n"
         "  --no-ec               nothing decodes 0x62/0x66\n"
         "  --ec-ram FILE         256 bytes of EC RAM (zeros, \"XQR02A.0\" at 0xD8)\n"
         "  --ec-latency N        status reads with IBF still set after a write (1)\n"
         "  --kbc-latency N       the same for the keyboard controller (1)\n"
         "  --kbc-pending N       output bytes waiting on 0x60 at start (0)\n"
         "  --bus-ns N            simulated cost of one port access (1000)\n"
         "  --fault KIND[:ARG]    inject a fault, repeatable: file-short[:N], ec-ibf-stuck[:N],\n"
         "                        kbc-ibf-stuck[:N] (IBF never clears from the N-th\n"
         "                        write on), ec-no-obf, kbc-obf-stuck, ec-stale[:HH]\n"
         "                        (a byte already waits on 0x62), sio-foreign[:HH]\n"
         "                        (register 0x20 answers HH); other kinds go to the\n"
         "                        flash chip\n"
         "  --trace FILE          transaction trace\n"
         "  --trace-ports FILE    every port access\n"
         "  --screen              print the final screen instead of the output, in\n"
         "                        colour (ANSI SGR) where the program set one\n"
         "  --screen-size CxR     the console's columns and rows (80x25)\n"
         "  --stats               print counters at the end\n"
         "  --help                this text\n";
}
