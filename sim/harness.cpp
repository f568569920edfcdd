#include "sim/harness.h"

#include "platform/platform.h"
#include "sim/board.h"
#include "sim/console_model.h"
#include "sim/flash/flash_chip.h"
#include "sim/harness_options.h"
#include "sim/sim_text.h"
#include "tolvi.h"

namespace {

static_assert(sizeof(size_t) == sizeof(uint64_t), "the write budget is read back through size_t");

// The harness's own files are never cut short by the program's write budget
// (file-short): it takes what is left of the budget, writes, and puts it back.
size_t HarnessWrite(const void* data, size_t count, pf::FILE* file) {
  const uint64_t budget = PlatFileWriteAllowance(SIZE_MAX);  // SIZE_MAX: unlimited
  PlatSetFileWriteLimit(UINT64_MAX);
  const size_t written = pf::fwrite(data, 1, count, file);
  PlatSetFileWriteLimit(budget);
  return written;
}

// Buffered line output to a trace file; firmware file writes are slow one by one.
struct TraceFile {
  pf::FILE* file;
  size_t used;
  bool failed;
  char buffer[8192];

  void Flush() {
    if (file != nullptr && used > 0 && HarnessWrite(buffer, used, file) != used) failed = true;
    used = 0;
  }
  void Append(const char* text, size_t count) {
    if (used + count > sizeof(buffer)) Flush();
    if (count > sizeof(buffer)) {
      if (HarnessWrite(text, count, file) != count) failed = true;
      return;
    }
    __builtin_memcpy(buffer + used, text, count);
    used += count;
  }
};

// Everything a run needs lives here, in static storage: the harness allocates
// nothing but the flash contents and the program's argument vector.
struct Harness {
  const SimHooks* hooks;
  SimOptions options;
  SimClock clock;
  SimCounters counters;
  Board board;
  FlashChip chip;
  ConsoleSink console_sink;
  TraceSink trace_sink;
  TraceSink port_trace_sink;
  TraceFile trace_file;
  TraceFile port_trace_file;
  uint64_t port_accesses;  // counted for --interrupt-at
  uint8_t ec_ram[EcModel::kRamSize];
  // The status file beside the flash file, and what it held for this chip.
  char status_path[300];
  bool restore_status;
  uint8_t restore1;
  uint8_t restore2;
};

constinit Harness g_harness{};
// All zeros until a run sizes it: kept out of the harness so that its cells
// cost the UEFI image no file space.
constinit ConsoleModel g_console{};

size_t Length(const char* text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

void Out(const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  if (hooks != nullptr && hooks->out != nullptr) {
    hooks->out(hooks->context, text, Length(text));
  } else {
    PlatConsoleWriteNarrow(text, Length(text));
  }
}

void Err(const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  if (hooks != nullptr && hooks->err != nullptr) {
    hooks->err(hooks->context, text, Length(text));
  } else {
    PlatConsoleWriteNarrow(text, Length(text));
  }
}

int HarnessError(const char* what, const char* argument) {
  TraceText line;
  line.Add("tolvi-sim: ").Add(what);
  if (argument != nullptr) line.Add(argument);
  line.Char('\n');
  Err(line.Text());
  return kSimHarnessError;
}

// The screen model sees every console call, with line ends as the firmware's
// print library makes them; the program's own text goes on to the embedding's
// sink, or to the provider's console unless --screen asked for the final
// picture instead.
const ConsoleSink* Forward() {
  const SimHooks* hooks = g_harness.hooks;
  return hooks != nullptr ? hooks->console : nullptr;
}
bool PassThrough() { return !g_harness.options.screen; }

void SinkNarrow(void*, const char* text, size_t count) {
  g_console.PrintNarrow(text, count);
  if (const ConsoleSink* next = Forward()) {
    if (next->write_narrow != nullptr) next->write_narrow(next->context, text, count);
  } else if (PassThrough()) {
    PlatConsoleWriteNarrow(text, count);
  }
}
void SinkWide(void*, const char16_t* text, size_t count) {
  g_console.PrintWide(text, count);
  if (const ConsoleSink* next = Forward()) {
    if (next->write_wide != nullptr) next->write_wide(next->context, text, count);
  } else if (PassThrough()) {
    PlatConsoleWriteWide(text, count);
  }
}
void SinkClear(void*) {
  g_console.Clear();
  if (const ConsoleSink* next = Forward()) {
    if (next->clear != nullptr) next->clear(next->context);
  } else if (PassThrough()) {
    PlatConsoleClear();
  }
}
void SinkCursor(void*, unsigned column, unsigned row) {
  g_console.SetCursor(column, row);
  if (const ConsoleSink* next = Forward()) {
    if (next->set_cursor != nullptr) next->set_cursor(next->context, column, row);
  } else if (PassThrough()) {
    PlatConsoleSetCursor(column, row);
  }
}
void SinkAttribute(void*, unsigned attribute) {
  g_console.SetAttribute(attribute);
  if (const ConsoleSink* next = Forward()) {
    if (next->set_attribute != nullptr) next->set_attribute(next->context, attribute);
  } else if (PassThrough()) {
    PlatConsoleSetAttribute(attribute);
  }
}

// A trace line goes to its file, if one was named, and to the host's hook.
void EmitTraceLine(TraceFile& file, const TraceSink* hook, const char* text) {
  if (file.file != nullptr) {
    file.Append(text, Length(text));
    file.Append("\n", 1);
  }
  if (hook != nullptr) hook->line(hook->context, text);
}

void TraceLine(void*, const char* text) {
  const SimHooks* hooks = g_harness.hooks;
  EmitTraceLine(g_harness.trace_file, hooks != nullptr ? hooks->trace : nullptr, text);
}

void PortTraceLine(void*, const char* text) {
  Harness& h = g_harness;
  const SimHooks* hooks = h.hooks;
  // Each port access is one line, so the count is the line's number.
  if (++h.port_accesses == h.options.interrupt_at && hooks != nullptr &&
      hooks->interrupt != nullptr) {
    hooks->interrupt(hooks->context);
  }
  EmitTraceLine(g_harness.port_trace_file, hooks != nullptr ? hooks->port_trace : nullptr, text);
}

// Reads a whole file of exactly `size` bytes. Returns false with the reason,
// ending where the file's name follows.
bool ReadExact(const char* path, uint8_t* buffer, uint32_t size, const char* owner,
               TraceText* reason) {
  pf::FILE* file = pf::fopen(path, "rb");
  if (file == nullptr) {
    reason->Add("cannot open ");
    return false;
  }
  bool ok = pf::fseek(file, 0, pf::kSeekEnd) == 0 && pf::ftell(file) == static_cast<int64_t>(size);
  if (!ok) {
    reason->Add("wrong size (").Add(owner).Add(" takes ").Dec(size).Add(" bytes): ");
  } else if (pf::fseek(file, 0, pf::kSeekSet) != 0 || pf::fread(buffer, 1, size, file) != size) {
    reason->Add("cannot read ");
    ok = false;
  }
  pf::fclose(file);
  return ok;
}

// The chip's non-volatile status bits persist beside the flash file, so that
// the flash file stays a plain image: one line "NAME HH HH", the chip's name
// and its two status registers. A line for another chip is passed over: that
// chip's bits went with it.
constexpr const char* kStatusSuffix = ".status";

bool StatusPath(const char* flash_path, char* path, size_t size) {
  TextLine line(path, size);
  line.Add(flash_path).Add(kStatusSuffix);
  return line.Length() + 1 < size;
}

// False for a file that is not such a line.
bool ReadStatusFile(const char* path, const FlashProfile* profile) {
  Harness& h = g_harness;
  h.restore_status = false;
  pf::FILE* file = pf::fopen(path, "rb");
  if (file == nullptr) return true;  // a chip fresh from the reel
  char text[64];
  const size_t n = pf::fread(text, 1, sizeof(text) - 1, file);
  pf::fclose(file);
  text[n] = '\0';
  char* fields[3];
  size_t count = 0;
  size_t at = 0;
  while (count < 3 && at < n && text[at] != '\n') {
    fields[count++] = text + at;
    while (at < n && text[at] != ' ' && text[at] != '\n') ++at;
    if (at < n && text[at] == ' ') text[at++] = '\0';
  }
  if (count != 3 || at + 1 != n || text[at] != '\n') return false;
  text[at] = '\0';
  uint64_t status1 = 0;
  uint64_t status2 = 0;
  if (!ParseUnsigned(fields[1], 16, 0xFF, &status1) ||
      !ParseUnsigned(fields[2], 16, 0xFF, &status2)) {
    return false;
  }
  if (!TextEqual(fields[0], FlashProfileName(profile))) return true;
  h.restore_status = true;
  h.restore1 = static_cast<uint8_t>(status1);
  h.restore2 = static_cast<uint8_t>(status2);
  return true;
}

bool WriteStatusFile(const char* path) {
  const FlashChip& chip = g_harness.chip;
  TraceText line;
  line.Add(FlashProfileName(chip.Profile())).Char(' ').Hex(chip.KeptStatus1());
  line.Char(' ').Hex(chip.KeptStatus2()).Char('\n');
  pf::FILE* file = pf::fopen(path, "wb+");
  bool written =
      file != nullptr && pf::fwrite(line.Text(), 1, line.Length(), file) == line.Length();
  if (file != nullptr && pf::fclose(file) != 0) written = false;
  return written;
}

bool OpenTrace(const char* path, TraceFile* trace) {
  trace->used = 0;
  trace->failed = false;
  trace->file = nullptr;
  if (path == nullptr) return true;
  trace->file = pf::fopen(path, "wb+");
  return trace->file != nullptr;
}

bool CloseTrace(TraceFile* trace) {
  if (trace->file == nullptr) return true;
  trace->Flush();
  bool ok = !trace->failed;
  if (pf::fclose(trace->file) != 0) ok = false;
  trace->file = nullptr;
  return ok;
}

void PrintStats() {
  const Harness& h = g_harness;
  struct Row {
    const char* name;
    uint64_t value;
  };
  const Row rows[] = {
      {"port reads", h.counters.port_reads},
      {"port writes", h.counters.port_writes},
      {"spi transactions", h.counters.spi_transactions},
      {"spi bytes written", h.counters.spi_bytes_written},
      {"spi bytes read", h.counters.spi_bytes_read},
      {"stall us", h.counters.stall_us},
      {"simulated ns", h.clock.now_ns},
      {"ec flash-mode entries", h.board.Ec().FlashModeEntries()},
      {"ec resets", h.board.Ec().Resets()},
  };
  for (const Row& row : rows) {
    TraceText line;
    line.Add("tolvi-sim stats: ").Add(row.name).Add(" ").Dec(row.value).Char('\n');
    Err(line.Text());
  }
}

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
    Out(line.Text());
  }
}

void ListChips() {
  char line[160];
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    FormatFlashProfileLine(FlashProfileAt(i), line, sizeof(line) - 1);
    size_t n = Length(line);
    line[n] = '\n';
    line[n + 1] = '\0';
    Out(line);
  }
}

char g_program_name[] = "tolvi";

// *ran tells whether the program ran, so that the flash file is written back.
int Run(uint8_t* flash, uint32_t flash_size, const FlashProfile* profile, bool* ran) {
  Harness& h = g_harness;
  SimOptions& options = h.options;
  const SimHooks* hooks = h.hooks;
  bool tracing = options.trace_path != nullptr || (hooks != nullptr && hooks->trace != nullptr);
  bool port_tracing = options.trace_ports_path != nullptr || options.interrupt_at != 0 ||
                      (hooks != nullptr && hooks->port_trace != nullptr);
  h.trace_sink = TraceSink{nullptr, TraceLine};
  h.port_trace_sink = TraceSink{nullptr, PortTraceLine};
  h.trace_file.file = nullptr;
  h.port_trace_file.file = nullptr;
  const TraceSink* trace = tracing ? &h.trace_sink : nullptr;

  // argv[0] is the program's name and argv[argc] is null, as from the shell.
  int argc = options.program_argc + 1;
  char** argv = static_cast<char**>(PlatAllocate(sizeof(char*) * (static_cast<size_t>(argc) + 1)));
  if (argv == nullptr) return HarnessError("out of memory", nullptr);
  argv[0] = g_program_name;
  for (int i = 1; i < argc; ++i) argv[i] = options.program_argv[i - 1];
  argv[argc] = nullptr;

  h.clock.now_ns = 0;
  h.port_accesses = 0;
  __builtin_memset(&h.counters, 0, sizeof(h.counters));
  // The chip is set up first so that a fault kind it does not know is
  // refused before any file is created.
  h.chip.Init(profile, flash, &h.clock, &h.counters, trace);
  if (h.restore_status) h.chip.RestoreStatus(h.restore1, h.restore2);
  for (size_t i = 0; i < options.chip_fault_count; ++i) {
    if (!h.chip.ApplyFault(options.chip_faults[i], nullptr)) {
      PlatFree(argv);
      return HarnessError("unknown fault or bad argument: ", options.chip_faults[i]);
    }
  }
  if (!OpenTrace(options.trace_path, &h.trace_file)) {
    PlatFree(argv);
    return HarnessError("cannot create trace file ", options.trace_path);
  }
  if (!OpenTrace(options.trace_ports_path, &h.port_trace_file)) {
    CloseTrace(&h.trace_file);
    PlatFree(argv);
    return HarnessError("cannot create port trace file ", options.trace_ports_path);
  }
  h.board.Init(options.board, &h.chip, &h.clock, &h.counters, trace,
               port_tracing ? &h.port_trace_sink : nullptr);
  g_console.Reset(options.screen_columns, options.screen_rows);
  h.console_sink = ConsoleSink{nullptr, SinkNarrow, SinkWide, SinkClear, SinkCursor, SinkAttribute};

  *ran = true;
  SimSetBoard(&h.board);
  PlatSetConsoleSink(&h.console_sink);
  PlatSetFileWriteLimit(options.file_write_limit);
  int status = tolvi::main(argc, argv);
  // The harness's own files (flash, traces) are never cut short.
  PlatSetFileWriteLimit(UINT64_MAX);
  PlatSetConsoleSink(nullptr);
  SimSetBoard(nullptr);
  PlatFree(argv);

  bool traces_ok = CloseTrace(&h.trace_file);
  traces_ok = CloseTrace(&h.port_trace_file) && traces_ok;

  if (hooks != nullptr && hooks->finished != nullptr) {
    SimRunView view{status, &h.board,   &h.chip,     &g_console,
                    flash,  flash_size, &h.counters, &h.clock};
    hooks->finished(hooks->context, &view);
  }
  if (options.screen) PrintScreen();
  if (options.stats) PrintStats();
  if (!traces_ok) return HarnessError("cannot write a trace file", nullptr);
  return status;
}

}  // namespace

void SimSetHooks(const SimHooks* hooks) { g_harness.hooks = hooks; }

int SimMain(int argc, char** argv) {
  Harness& h = g_harness;
  char error[TraceText::kCapacity];
  if (!ParseSimOptions(argc, argv, &h.options, error, sizeof(error))) {
    return HarnessError(error, nullptr);
  }
  SimOptions& options = h.options;
  if (options.help) {
    WriteSimUsage([](void*, const char* text) { Out(text); }, nullptr);
    return 0;
  }
  if (options.list_chips) {
    ListChips();
    return 0;
  }
  const FlashProfile* profile = DefaultFlashProfile();
  if (options.chip_name != nullptr) {
    profile = FindFlashProfile(options.chip_name);
    if (profile == nullptr)
      return HarnessError("unknown chip (see --list-chips): ", options.chip_name);
  }
  TraceText reason;
  if (options.ec_ram_path != nullptr) {
    if (!ReadExact(options.ec_ram_path, h.ec_ram, sizeof(h.ec_ram), "EC RAM", &reason)) {
      return HarnessError(reason.Text(), options.ec_ram_path);
    }
    options.board.ec.ram = h.ec_ram;
  }

  uint32_t size = FlashProfileSize(profile);
  uint8_t* flash = static_cast<uint8_t*>(PlatAllocate(size));
  if (flash == nullptr) return HarnessError("out of memory for the flash contents", nullptr);
  pf::FILE* probe = pf::fopen(options.flash_path, "rb");
  if (probe == nullptr) {
    __builtin_memset(flash, 0xFF, size);  // a new chip comes erased
  } else {
    pf::fclose(probe);
    TraceText chip;
    chip.Add("chip ").Add(FlashProfileName(profile));
    if (!ReadExact(options.flash_path, flash, size, chip.Text(), &reason)) {
      PlatFree(flash);
      return HarnessError(reason.Text(), options.flash_path);
    }
  }

  if (!StatusPath(options.flash_path, h.status_path, sizeof(h.status_path))) {
    PlatFree(flash);
    return HarnessError("flash file name too long: ", options.flash_path);
  }
  if (!ReadStatusFile(h.status_path, profile)) {
    PlatFree(flash);
    return HarnessError("bad status file (NAME HH HH): ", h.status_path);
  }

  bool ran = false;
  int status = Run(flash, size, profile, &ran);
  if (!ran) {
    PlatFree(flash);
    return status;
  }
  // The contents persist for the next run, also after a trace file failed
  // (the program may have changed the flash).
  pf::FILE* file = pf::fopen(options.flash_path, "wb+");
  bool written = file != nullptr && pf::fwrite(flash, 1, size, file) == size;
  if (file != nullptr && pf::fclose(file) != 0) written = false;
  PlatFree(flash);
  if (!written) return HarnessError("cannot write the flash file ", options.flash_path);
  if (!WriteStatusFile(h.status_path)) {
    return HarnessError("cannot write the status file ", h.status_path);
  }
  return status;
}
