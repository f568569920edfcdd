// The board options of tolvi-sim and how the harness splits its arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "sim/harness_options.h"

namespace {

// The option record points into the argument strings, so they live here too
// (moving the vectors keeps their buffers in place).
struct Parsed {
  std::vector<std::string> storage;
  std::vector<char*> argv;
  bool ok = false;
  std::string error;
  SimOptions options{};
  std::vector<std::string> program;
};

Parsed Parse(const std::vector<std::string>& arguments) {
  Parsed parsed;
  parsed.storage.push_back("tolvi-sim");
  parsed.storage.insert(parsed.storage.end(), arguments.begin(), arguments.end());
  for (std::string& argument : parsed.storage) parsed.argv.push_back(argument.data());
  parsed.argv.push_back(nullptr);
  char error[160];
  parsed.ok = ParseSimOptions(static_cast<int>(parsed.storage.size()), parsed.argv.data(),
                              &parsed.options, error, sizeof(error));
  parsed.error = error;
  if (parsed.ok) {
    for (int i = 0; i < parsed.options.program_argc; ++i) {
      parsed.program.emplace_back(parsed.options.program_argv[i]);
    }
  }
  return parsed;
}

TEST(BoardHarness, BadBoardOptionsAreRefusedWithOneLine) {
  struct Case {
    std::vector<std::string> arguments;
    const char* error;
  };
  const Case cases[] = {
      {{"--frobnicate", "--"}, "unknown option: --frobnicate"},
      {{"--sio", "3e", "--"}, "bad value for --sio (2e, 4e or none): 3e"},
      {{"--chip-id", "5g12", "--"}, "bad value for --chip-id: 5g12"},
      {{"--chip-id", "10000", "--"}, "bad value for --chip-id: 10000"},
      {{"--ec-ack", "", "--"}, "bad value for --ec-ack: "},
      {{"--ec-ack", "100", "--"}, "bad value for --ec-ack: 100"},
      {{"--ec-latency", "-1", "--"}, "bad value for --ec-latency: -1"},
      {{"--bram-version", "02", "--"}, "bad value for --bram-version (HH,LL): 02"},
      {{"--bram-version", "02,1ff", "--"}, "bad value for --bram-version (HH,LL): 02,1ff"},
      {{"--port-answer", "66", "--"}, "bad value for --port-answer (PORT:HH): 66"},
      {{"--port-answer", "10000:01", "--"}, "bad value for --port-answer (PORT:HH): 10000:01"},
      {{"--port-answer", "1:0", "--port-answer", "2:0", "--port-answer", "3:0", "--port-answer",
        "4:0", "--port-answer", "5:0", "--"},
       "too many --port-answer ports: 5:0"},
      {{"--screen-size", "100", "--"},
       "bad value for --screen-size (COLSxROWS, at most 240x100): 100"},
      {{"--screen-size", "241x31", "--"},
       "bad value for --screen-size (COLSxROWS, at most 240x100): 241x31"},
      {{"--screen-size", "80x0", "--"},
       "bad value for --screen-size (COLSxROWS, at most 240x100): 80x0"},
      {{"--fault", "ec-ibf-stuck:0", "--"}, "bad fault argument: ec-ibf-stuck:0"},
      {{"--fault", "sio-foreign:zz", "--"}, "bad fault argument: sio-foreign:zz"},
      {{"--fault", ":3", "--"}, "bad fault: :3"},
      {{"--flash"}, "missing value after --flash"},
      {{"--flash", "--"}, "missing value after --flash"},
      {{"ec.bin", "--", "ec.bin"},
       "not a board option (the program's arguments go after --): ec.bin"},
  };
  for (const Case& c : cases) {
    Parsed parsed = Parse(c.arguments);
    EXPECT_FALSE(parsed.ok) << c.error;
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(BoardHarness, ArgumentsSplitAtTheSeparatorOrAtTheFirstNonOption) {
  struct Case {
    std::vector<std::string> arguments;
    std::vector<std::string> program;
  };
  const Case cases[] = {
      {{"--screen", "--", "ec.bin", "64"}, {"ec.bin", "64"}},
      {{"ec.bin", "64"}, {"ec.bin", "64"}},
      {{"--screen", "ec.bin", "64"}, {"ec.bin", "64"}},
      {{"--flash", "f.bin", "/S", "64"}, {"/S", "64"}},
      {{"--", "--screen"}, {"--screen"}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    Parsed parsed = Parse(c.arguments);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.program, c.program);
  }
}

TEST(BoardHarness, OptionsReachTheBoardConfiguration) {
  // clang-format off
  Parsed parsed = Parse({"--sio", "4e", "--chip-id", "0x5570", "--ec-ack", "32", "--no-ec",
                         "--bram-version", "04,42", "--bram-base", "290", "--ec-latency", "5",
                         "--kbc-latency", "0", "--kbc-pending", "3", "--bus-ns", "0",
                         "--fault", "ec-ibf-stuck:7", "--fault", "ec-no-obf",
                         "--fault", "kbc-obf-stuck", "--fault", "sio-foreign",
                         "--fault", "ec-stale:5a", "--fault", "flash-stuck-busy",
                         "--flash", "x.bin", "--chip", "w25x80", "--trace", "t.txt",
                         "--trace-ports", "p.txt", "--ec-ram", "ram.bin", "--screen",
                         "--screen-size", "100x31", "--stats", "--", "/V"});
  // clang-format on
  ASSERT_TRUE(parsed.ok) << parsed.error;
  const BoardConfig& board = parsed.options.board;
  EXPECT_EQ(board.sio.index_port, 0x4E);
  EXPECT_EQ(board.sio.chip_id, 0x5570);
  EXPECT_EQ(board.ec.ack, 0x32);
  EXPECT_TRUE(board.no_ec);
  EXPECT_EQ(board.sio.bram_high, 0x04);
  EXPECT_EQ(board.sio.bram_low, 0x42);
  EXPECT_EQ(board.sio.bram_base, 0x290);
  EXPECT_EQ(board.ec.ibf_latency, 5u);
  EXPECT_EQ(board.kbc.ibf_latency, 0u);
  EXPECT_EQ(board.kbc.pending_bytes, 3u);
  EXPECT_EQ(board.bus_ns, 0u);
  EXPECT_EQ(board.ec.ibf_stuck_from, 7u);
  EXPECT_TRUE(board.ec.no_obf);
  EXPECT_TRUE(board.kbc.obf_stuck);
  EXPECT_TRUE(board.sio.foreign_family);
  EXPECT_EQ(board.sio.foreign_code, 0x86);
  EXPECT_TRUE(board.ec.stale_output);
  EXPECT_EQ(board.ec.stale_byte, 0x5A);
  ASSERT_EQ(parsed.options.chip_fault_count, 1u);
  EXPECT_STREQ(parsed.options.chip_faults[0], "flash-stuck-busy");
  EXPECT_STREQ(parsed.options.flash_path, "x.bin");
  EXPECT_STREQ(parsed.options.chip_name, "w25x80");
  EXPECT_STREQ(parsed.options.trace_path, "t.txt");
  EXPECT_STREQ(parsed.options.trace_ports_path, "p.txt");
  EXPECT_STREQ(parsed.options.ec_ram_path, "ram.bin");
  EXPECT_TRUE(parsed.options.screen);
  EXPECT_EQ(parsed.options.screen_columns, 100u);
  EXPECT_EQ(parsed.options.screen_rows, 31u);
  EXPECT_TRUE(parsed.options.stats);
  EXPECT_EQ(parsed.program, std::vector<std::string>{"/V"});
}

TEST(BoardHarness, DefaultsDescribeTheDocumentedBoard) {
  Parsed parsed = Parse({});
  ASSERT_TRUE(parsed.ok);
  const BoardConfig& board = parsed.options.board;
  EXPECT_STREQ(parsed.options.flash_path, "tolvi-sim-flash.bin");
  EXPECT_EQ(parsed.options.chip_name, nullptr);
  EXPECT_EQ(parsed.options.screen_columns, 80u);
  EXPECT_EQ(parsed.options.screen_rows, 25u);
  EXPECT_EQ(board.sio.index_port, 0x2E);
  EXPECT_EQ(board.sio.chip_id, 0x5512);
  EXPECT_EQ(board.sio.bram_base, 0x0070);
  EXPECT_EQ(board.sio.bram_high, 0x02);
  EXPECT_EQ(board.sio.bram_low, 0x41);
  EXPECT_EQ(board.ec.ack, 0x33);
  EXPECT_EQ(board.ec.ibf_latency, 1u);
  EXPECT_EQ(board.bus_ns, 1000u);
  EXPECT_FALSE(board.no_ec);
}

// The defaults --help shows, typed back as options, leave every option as
// it was: the help cannot drift from what the board does without them.
TEST(BoardHarness, HelpShowsTheDefaultsTheBoardStartsWith) {
  std::string help;
  WriteSimUsage(
      [](void* context, const char* text) { *static_cast<std::string*>(context) += text; }, &help);
  std::vector<std::string> typed;
  std::istringstream lines(help);
  std::string line;
  std::string pending;  // an option whose help goes on in the next line
  const std::regex option_line(R"(^  (--[a-z-]+) \S+ .*)");
  const std::regex default_end(R"(\(([^ ()]+)\)$)");
  std::smatch match;
  while (std::getline(lines, line)) {
    if (std::regex_match(line, match, option_line)) {
      pending = match[1];
    } else if (line.rfind(std::string(24, ' '), 0) != 0) {
      pending.clear();
    }
    if (!pending.empty() && std::regex_search(line, match, default_end)) {
      typed.push_back(pending);
      typed.push_back(match[1]);
      pending.clear();
    }
  }
  // --flash, --sio, --chip-id, --bram-base, --bram-version, --ec-ack, two
  // latencies, --kbc-pending, --ec-pending, --bus-ns, --screen-size.
  EXPECT_EQ(typed.size(), 2u * 12) << help;
  typed.push_back("--");
  Parsed by_default = Parse({});
  Parsed given = Parse(typed);
  ASSERT_TRUE(given.ok) << given.error;
  EXPECT_STREQ(given.options.flash_path, by_default.options.flash_path);
  EXPECT_EQ(given.options.screen_columns, by_default.options.screen_columns);
  EXPECT_EQ(given.options.screen_rows, by_default.options.screen_rows);
  EXPECT_EQ(0, std::memcmp(&given.options.board, &by_default.options.board, sizeof(BoardConfig)));
  // The help names exactly these options, and the scan knows every one.
  const std::set<std::string> expected = {
      "--flash",      "--chip",         "--list-chips",  "--sio",        "--chip-id",
      "--bram-base",  "--bram-version", "--ec-ack",      "--no-ec",      "--ec-ram",
      "--ec-latency", "--kbc-latency",  "--kbc-pending", "--ec-pending", "--bus-ns",
      "--fault",      "--trace",        "--trace-ports", "--screen",     "--screen-size",
      "--stats",      "--interrupt-at", "--help",        "--port-answer"};
  std::set<std::string> shown;
  const std::regex any_option(R"(\n  (--[a-z-]+))");
  for (std::sregex_iterator it(help.begin(), help.end(), any_option), end; it != end; ++it) {
    const std::string name = (*it)[1].str();
    shown.insert(name);
    const Parsed parsed = Parse({name, "1", "--"});
    EXPECT_EQ(parsed.error.find("unknown option"), std::string::npos) << name;
  }
  EXPECT_EQ(shown, expected) << help;
}

}  // namespace
