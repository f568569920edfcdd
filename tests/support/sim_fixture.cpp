#include "support/sim_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "sim/board.h"
#include "sim/console_model.h"
#include "sim/flash/flash_chip.h"
#include "sim/harness.h"

namespace simtest {
namespace {

// The widest line an 80-column screen shows without wrapping.
constexpr std::size_t kScreenColumns = 79;

void AppendUtf8(std::string* out, const char16_t* text, size_t count) {
  char bytes[3];
  for (size_t i = 0; i < count; ++i) {
    size_t n = EncodeUtf8(text[i], bytes, sizeof(bytes));
    out->append(bytes, n);
  }
}

struct Capture {
  SimResult* result;
  std::string line;  // the console's line so far
  std::size_t columns = 0;
};

// Progress marks (one per erase, page or 4K read) and the version bytes a
// user asks for run as long as the work: those lines are not held to the
// screen's width.
bool bOneMarkPerUnit(const std::string& line) {
  return line.find("\u2588") != std::string::npos || line.rfind("SIO FW version : ", 0) == 0;
}

void WalkLine(Capture* c, const std::string& text) {
  for (const char ch : text) {
    if (ch == '\n' || ch == '\r') {
      c->line.clear();
      c->columns = 0;
      continue;
    }
    c->line += ch;
    if ((static_cast<unsigned char>(ch) & 0xC0) == 0x80) continue;
    if (++c->columns > c->result->widest_columns && !bOneMarkPerUnit(c->line)) {
      c->result->widest_columns = c->columns;
      c->result->widest_line = c->line;
    }
  }
}

void CaptureFinished(void* context, const SimRunView* view) {
  SimResult& r = *static_cast<Capture*>(context)->result;
  r.flash.assign(view->flash, view->flash + view->flash_size);
  r.flash_status = view->chip->StatusRegister();
  r.counters = *view->counters;
  r.sim_time_ns = view->clock->now_ns;

  const ConsoleModel& screen = *view->screen;
  r.screen.clear();
  r.attributes.assign(screen.Rows(), std::vector<std::uint8_t>(screen.Columns()));
  char row_text[ConsoleModel::kMaxColumns * 3 + 1];
  for (unsigned row = 0; row < screen.Rows(); ++row) {
    screen.RowText(row, row_text, sizeof(row_text));
    r.screen.emplace_back(row_text);
    for (unsigned column = 0; column < screen.Columns(); ++column) {
      r.attributes[row][column] = screen.Cell(column, row).attribute;
    }
  }
  r.cursor_column = screen.CursorColumn();
  r.cursor_row = screen.CursorRow();

  const Board& board = *view->board;
  r.ec_in_flash_mode = board.Ec().InFlashMode();
  r.ec_flash_mode_entries = board.Ec().FlashModeEntries();
  r.ec_resets = board.Ec().Resets();
  r.ec_pre_enter_count = board.Ec().PreEnterCount();
  r.ec_last_pre_enter = board.Ec().LastPreEnter();
  r.spi_selected = board.Ec().SpiSelected();
  r.keyboard_enabled = board.Kbc().KeyboardEnabled();
  r.kbc_pending = board.Kbc().PendingBytes();
  r.sio_in_config_mode = board.Sio().InConfigMode();
}

// Restores the working directory however the run ends.
class DirectoryGuard {
 public:
  explicit DirectoryGuard(const std::string& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~DirectoryGuard() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

}  // namespace

std::string SimResult::ScreenText() const {
  size_t used = screen.size();
  while (used > 0 && screen[used - 1].empty()) --used;
  std::string text;
  for (size_t i = 0; i < used; ++i) {
    if (i > 0) text += '\n';
    text += screen[i];
  }
  return text;
}

std::vector<std::string> SimResult::TraceLines(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (const std::string& line : trace) {
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> EraseLines(const std::vector<std::string>& trace) {
  std::vector<std::string> lines;
  for (const std::string& line : trace) {
    for (const char* erase : {"spi 20 ", "spi 52 ", "spi d8 ", "spi d7 ", "spi c7", "spi 60"}) {
      if (line.rfind(erase, 0) == 0) lines.push_back(line);
    }
  }
  return lines;
}

std::vector<std::string> SimResult::EraseLines() const { return simtest::EraseLines(trace); }

SimFixture::SimFixture() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolvi-sim-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = buffer.data();
}

SimFixture::~SimFixture() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string SimFixture::Path(const std::string& name) const { return dir_ + "/" + name; }

void SimFixture::WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
  std::ofstream file(Path(name), std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + Path(name));
}

void SimFixture::WriteFile(const std::string& name, const std::string& text) const {
  WriteFile(name, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::uint8_t> SimFixture::ReadFile(const std::string& name) const {
  std::ifstream file(Path(name), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file),
                                   std::istreambuf_iterator<char>());
}

bool SimFixture::FileExists(const std::string& name) const {
  return std::filesystem::exists(Path(name));
}

SimResult SimFixture::Run(const std::vector<std::string>& board_options,
                          const std::vector<std::string>& tolvi_args,
                          const RunOptions& run_options) {
  std::vector<std::string> arguments = board_options;
  arguments.push_back("--");
  arguments.insert(arguments.end(), tolvi_args.begin(), tolvi_args.end());
  return RunRaw(arguments, run_options);
}

SimResult SimFixture::RunRaw(const std::vector<std::string>& arguments,
                             const RunOptions& run_options) {
  SimResult result;
  Capture capture{&result, {}, 0};

  ConsoleSink console{};
  console.context = &capture;
  console.write_narrow = [](void* context, const char* text, size_t count) {
    auto* c = static_cast<Capture*>(context);
    c->result->console.append(text, count);
    WalkLine(c, std::string(text, count));
  };
  console.write_wide = [](void* context, const char16_t* text, size_t count) {
    auto* c = static_cast<Capture*>(context);
    std::string utf8;
    AppendUtf8(&utf8, text, count);
    c->result->console += utf8;
    WalkLine(c, utf8);
  };
  console.clear = [](void* context) { WalkLine(static_cast<Capture*>(context), "\n"); };
  console.set_cursor = [](void* context, unsigned column, unsigned) {
    auto* c = static_cast<Capture*>(context);
    WalkLine(c, "\n");
    WalkLine(c, std::string(column, ' '));
  };
  console.set_attribute = [](void* context, unsigned attribute) {
    static_cast<Capture*>(context)->result->attribute_calls.push_back(attribute);
  };
  TraceSink trace{&result.trace, [](void* context, const char* text) {
                    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
                  }};
  TraceSink port_trace{&result.port_trace, trace.line};

  SimHooks hooks{};
  hooks.context = &capture;
  hooks.console = &console;
  hooks.out = [](void* context, const char* text, size_t count) {
    static_cast<Capture*>(context)->result->out.append(text, count);
  };
  hooks.err = [](void* context, const char* text, size_t count) {
    static_cast<Capture*>(context)->result->err.append(text, count);
  };
  hooks.trace = &trace;
  hooks.port_trace = run_options.port_trace ? &port_trace : nullptr;
  hooks.finished = CaptureFinished;

  // SimMain takes a C argument vector with writable strings.
  std::vector<std::string> storage;
  storage.reserve(arguments.size() + 1);
  storage.push_back("tolvi-sim");
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);

  DirectoryGuard in_dir(dir_);
  SimSetHooks(&hooks);
  result.status = SimMain(static_cast<int>(storage.size()), argv.data());
  SimSetHooks(nullptr);
  // Every run any test makes holds the program to an 80-column screen: no
  // line of its own may pass column 79.
  if (result.widest_columns > kScreenColumns)
    ADD_FAILURE() << "line of " << result.widest_columns << " columns: " << result.widest_line;
  return result;
}

SimResult RunSim(const std::vector<std::string>& board_options,
                 const std::vector<std::string>& tolvi_args, const RunOptions& run_options) {
  SimFixture fixture;
  return fixture.Run(board_options, tolvi_args, run_options);
}

}  // namespace simtest
