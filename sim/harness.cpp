// The harness's run: the program against the board model, between reading
// and writing back the flash file.
#include "sim/harness.h"

#include "platform/platform.h"
#include "sim/harness_state.h"
#include "sim/sim_text.h"
#include "tolvi.h"

constinit Harness g_harness{};
constinit ConsoleModel g_console{};

namespace {

void ListChips() {
  char line[160];
  for (size_t i = 0; i < FlashProfileCount(); ++i) {
    FormatFlashProfileLine(FlashProfileAt(i), line, sizeof(line) - 1);
    size_t n = HarnessTextLength(line);
    line[n] = '\n';
    line[n + 1] = '\0';
    HarnessOut(line);
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
  h.console_sink = HarnessConsoleSink();

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
    WriteSimUsage([](void*, const char* text) { HarnessOut(text); }, nullptr);
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
  const bool written = WriteWhole(options.flash_path, flash, size);
  PlatFree(flash);
  if (!written) return HarnessError("cannot write the flash file ", options.flash_path);
  if (!WriteStatusFile(h.status_path)) {
    return HarnessError("cannot write the status file ", h.status_path);
  }
  return status;
}
