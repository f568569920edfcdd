// Runs tolvi against the board model inside the test process, the way
// `tolvi-sim [BOARD OPTIONS] -- [TOLVI ARGUMENTS]` would, and collects what a
// user and the hardware would see.
//
//   SimFixture sim;                              // a fresh temporary directory
//   sim.WriteFile("ec.bin", image);              // input files for the program
//   SimResult r = sim.Run({"--chip", "w25q80"}, {"ec.bin", "64"});
//   EXPECT_EQ(r.status, 0);
//   EXPECT_TRUE(std::equal(image.begin(), image.end(), r.flash.begin()));
//   EXPECT_THAT(r.trace, testing::Contains("ec dc -> 33"));
//
// Every Run of one SimFixture uses the same directory, so the flash file
// (tolvi-sim-flash.bin) and the dump (XQRFW.bin) persist between runs as they
// do for a person at a shell. The directory is removed with the fixture.
// RunSim() is the one-run shorthand.
//
// The board without options: super-I/O chip 0x5512 at 0x2E, BRAM (logical
// device 0x10) at ports 0x70/0x71 holding version bytes 02,41 ("02A"); EC
// answering 0xDC with 0x33, its RAM zero but "XQR02A.0" at 0xD8; IBF set for
// one status read after each EC or KBC write; no KBC bytes pending; 1000 ns
// per port access; the flash model's default chip, erased. `tolvi-sim --help`
// lists the options that change these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/sim_types.h"

namespace simtest {

struct SimResult {
  // The harness's exit status: the program's (0, 1 or 2), or 3 for a harness error.
  int status = -1;

  // The program's console output as a stream: narrow bytes as they are, wide
  // text as UTF-8. Clear, cursor and colour calls leave no trace here; look at
  // the screen for those.
  std::string console;
  // The widest line of the console as the cursor walks it (a line end or a
  // cursor move starts a new one; a move's column counts), in columns, and
  // its text.
  std::size_t widest_columns = 0;
  std::string widest_line;
  // The harness's own standard output (--help, --list-chips, --screen) and
  // standard error (its error lines, --stats).
  std::string out;
  std::string err;

  // The final 80 x 25 screen: rows as UTF-8 without trailing blanks (always
  // 25 of them), and the attribute of every cell, attributes[row][column].
  std::vector<std::string> screen;
  std::vector<std::vector<std::uint8_t>> attributes;
  // Every colour the program set, in order: a colour set with no text after
  // it leaves nothing on the screen.
  std::vector<unsigned> attribute_calls;
  unsigned cursor_column = 0;
  unsigned cursor_row = 0;

  // The transaction trace, one entry per line ("kbc ad", "ec dc -> 33",
  // "spi 9f r4", ...). Always collected.
  std::vector<std::string> trace;
  // Every port access ("in 66 00", "out 66 dc"); only with
  // RunOptions::port_trace.
  std::vector<std::string> port_trace;

  // The flash contents after the run (empty if the run ended in a harness
  // error before the board existed).
  std::vector<std::uint8_t> flash;
  std::uint8_t flash_status = 0;  // status register 1 of the chip

  SimCounters counters{};
  std::uint64_t sim_time_ns = 0;

  // The board's state at the end of the run.
  bool ec_in_flash_mode = false;
  std::uint32_t ec_flash_mode_entries = 0;
  std::uint32_t ec_resets = 0;
  std::uint32_t ec_pre_enter_count = 0;
  std::uint8_t ec_last_pre_enter = 0;
  bool spi_selected = false;  // an SPI transaction left open
  bool keyboard_enabled = true;
  std::uint32_t kbc_pending = 0;
  bool sio_in_config_mode = false;

  // The screen as one text, rows joined with "\n", trailing empty rows left out.
  std::string ScreenText() const;
  // Trace lines that begin with prefix, e.g. TraceLines("ec ") or TraceLines("spi 02").
  std::vector<std::string> TraceLines(const std::string& prefix) const;
  // The sector, block and chip erases, in the order they went out.
  std::vector<std::string> EraseLines() const;
};

// The sector, block and chip erases of a board trace, in the order they went
// out.
std::vector<std::string> EraseLines(const std::vector<std::string>& trace);

struct RunOptions {
  bool port_trace = false;
};

class SimFixture {
 public:
  SimFixture();
  ~SimFixture();
  SimFixture(const SimFixture&) = delete;
  SimFixture& operator=(const SimFixture&) = delete;

  const std::string& Dir() const { return dir_; }
  // Path of a file in the run directory.
  std::string Path(const std::string& name) const;

  void WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) const;
  void WriteFile(const std::string& name, const std::string& text) const;
  // Empty when the file does not exist; FileExists tells the two apart.
  std::vector<std::uint8_t> ReadFile(const std::string& name) const;
  bool FileExists(const std::string& name) const;

  // Runs SimMain with the board options, "--" and the program's arguments,
  // inside the run directory.
  SimResult Run(const std::vector<std::string>& board_options,
                const std::vector<std::string>& tolvi_args, const RunOptions& run_options = {});
  // Runs SimMain with exactly these arguments after "tolvi-sim" (to test the
  // harness's own argument split).
  SimResult RunRaw(const std::vector<std::string>& arguments, const RunOptions& run_options = {});

 private:
  std::string dir_;
};

// One run in a fresh directory.
SimResult RunSim(const std::vector<std::string>& board_options,
                 const std::vector<std::string>& tolvi_args, const RunOptions& run_options = {});

}  // namespace simtest
