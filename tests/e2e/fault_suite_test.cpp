// Every fault the board model can inject, against every operation of the
// program. Whatever fails, a user must get the machine back: the program ends
// after a bounded number of polls and a bounded stretch of simulated time,
// names what failed in one message, takes the EC out of flash mode when it had
// put it there and the EC still takes bytes, gives the keyboard back when it
// had switched it off, and exits with status 1. A wrong acknowledgement is the
// exception: the operation goes on exactly as after a right one.
//
// Each cell is compared with a healthy run of the same operation, and the
// whole table is printed, one line per fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::SimFixture;
using simtest::SimResult;

// What an operation reaches.
enum Reach : unsigned {
  kUpdate = 1u << 0,    // erases, programs and verifies through the update
  kDump = 1u << 1,      // reads the flash into XQRFW.bin
  kPattern = 1u << 2,   // the write test
  kProtect = 1u << 3,   // the status-register write of the protection
  kEcRam = 1u << 4,     // EC RAM reads outside flash mode
  kBram = 1u << 5,      // super-I/O and BRAM only
  kChecksum = 1u << 6,  // the image file only
  kFlashMode = kUpdate | kDump | kPattern | kProtect,
  kWrites = kUpdate | kPattern | kProtect,
  kVersion = kEcRam | kBram,
};

struct Operation {
  const char* name;
  std::vector<std::string> args;
  unsigned reach;
  uint32_t write_start;  // flash address where image byte 0 (or the pattern) goes
  const char* leave;     // trace line of the leave command, for operations in flash mode
  bool kbc_first;        // disables the keyboard before entering flash mode
  bool kbc_last;         // enables it at the end
};

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> ops = {
      {"upd", {"ec.bin", "8"}, kUpdate, 0x000000, "ec fe", true, true},
      {"upd/k/j", {"ec.bin", "8", "/k", "/j"}, kUpdate, 0x000000, "ec fc", false, false},
      {"/BK", {"bbk.bin", "4", "/BK"}, kUpdate, 0x000000, "ec fe", true, true},
      {"/Mn", {"area.bin", "60", "/Mn"}, kUpdate, 0x001000, "ec fe", true, true},
      {"/Bp", {"area.bin", "60", "/Bp"}, kUpdate, 0x011000, "ec fe", true, true},
      {"/O", {"ec.bin", "8", "/O", "1000"}, kUpdate, 0x001000, "ec fe", true, true},
      {"/S", {"/S", "64"}, kDump, 0, "ec fe", false, true},
      {"/T", {"/T"}, kPattern, 0x000000, "ec fc", true, true},
      {"/PB", {"/PB"}, kProtect, 0, "ec fc", true, true},
      {"/V", {"/V"}, kEcRam, 0, nullptr, false, false},
      {"/VB", {"/VB", "04A"}, kBram, 0, nullptr, false, false},
      {"/VBF", {"/VBF", "fw.bin"}, kBram, 0, nullptr, false, false},
      {"/VC", {"/VC"}, kEcRam, 0, nullptr, false, false},
      {"/c", {"/c", "ec.bin"}, kChecksum, 0, nullptr, false, false},
  };
  return ops;
}

// Image bytes that are never 0xFF, so that every byte clears some bit and a
// bit that does not stick always shows.
std::vector<uint8_t> Image(size_t size) { return simtest::TestImage(size); }

std::vector<uint8_t> VersionImage() {
  std::vector<uint8_t> bytes = Image(0x10000);
  bytes[0xFFF8] = 0x03;  // "03B", newer than the board's BRAM version "02A"
  bytes[0xFFF9] = 'B';
  return bytes;
}

// Comes up with its block-protect bits set.
constexpr const char* kSstChip = "sst25vf080b";

enum class Outcome {
  kSame,       // as the healthy run (console edits aside)
  kAckFail,    // "EC ACK Fail." and otherwise as the healthy run
  kTimeOut,    // a wait gave up
  kCheckFail,  // an erase check or verify failed
  kSaveFail,   // the dump file could not be written
  kRefused,    // refused before any operation started
  kDamage,     // ran as the healthy run but left a wrong byte in the flash
};

const char* Code(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSame:
      return "same";
    case Outcome::kAckFail:
      return "ACK";
    case Outcome::kTimeOut:
      return "T/O";
    case Outcome::kCheckFail:
      return "VFY";
    case Outcome::kSaveFail:
      return "SAVE";
    case Outcome::kRefused:
      return "REF";
    case Outcome::kDamage:
      return "DMG";
  }
  return "?";
}

struct Expect {
  Outcome outcome = Outcome::kSame;
  // The one failure message, exactly as printed; the console ends with it.
  std::string message;
  // Console and trace of the healthy run with these texts replaced.
  std::vector<std::pair<std::string, std::string>> console_edits;
  std::vector<std::pair<std::string, std::string>> trace_edits;
  bool ec_takes_bytes = true;
  bool kbc_takes_bytes = true;
  // The fault struck after the flash work was done: the flash is as healthy.
  bool flash_as_healthy = false;
  // kDamage: the one flash byte that differs from the healthy run.
  uint32_t damage_address = 0;
  uint8_t damage_value = 0;
  // A dump cut short: the bytes that reached the file, a prefix of the
  // healthy dump.
  size_t dump_bytes = SIZE_MAX;
};

struct Fault {
  const char* name;
  std::function<std::vector<std::string>(const Operation&)> board;
  std::function<Expect(const Operation&)> expect;
  // Prepares the run directory (after the input files are written).
  std::function<void(SimFixture&)> prepare = nullptr;
  // Extra simulated time a healthy but slow board may legitimately need;
  // nonzero also means that status polls take fewer rounds.
  uint64_t extra_ns = 0;
  // Flash chip profile, compared with a healthy run on the same chip; null
  // for the board's default chip.
  const char* chip = nullptr;
};

const std::string kEcIbf = "\n\rTime-out: EC input buffer (port 0x66 IBF) never cleared\n";
const std::string kEcObf = "\n\rTime-out: no EC data byte (port 0x66 OBF) arrived\n";
const std::string kKbcDrain =
    "\n\rTime-out: keyboard controller output (port 0x60) never drained\n";
const std::string kKbcIbf =
    "\n\rTime-out: keyboard controller input buffer (port 0x64 IBF) never cleared\n";
const std::string kBusy = "\n\rTime-out: SPI flash stayed busy\n";
const std::string kWelSet = "\n\rTime-out: SPI flash write-enable latch never set\n";
const std::string kWelClear = "\n\rTime-out: SPI flash write-enable latch never cleared\n";
const std::string kNoDecode = "\n\rPlease check 0x66/0x62 are decode and try again!\n\n";
const std::string kNotXqr = "\n\rNot XQR Chip\n\r";
const std::string kAckOk = "EC ACK OK. \n\n";
const std::string kAckFail = "EC ACK Fail. \n\n";

// A wait on the whole board gives up after at most 10 s of stalls (the busy
// poll), and the clean-up waits on the EC and the keyboard controller add a
// few seconds more; twice that is a hang.
constexpr uint64_t kGiveUpCeilingNs = 30'000'000'000ull;
// Port accesses of the same: about 100 000 polls per wait.
constexpr uint64_t kGiveUpCeilingAccesses = 5'000'000;

// Board options that do not depend on the operation.
std::function<std::vector<std::string>(const Operation&)> Fixed(std::vector<std::string> options) {
  return [options](const Operation&) { return options; };
}

Expect TimeOut(const std::string& message) {
  Expect e;
  e.outcome = Outcome::kTimeOut;
  e.message = message;
  return e;
}

// The write test on the protected SST part: nothing of the pattern lands on
// the erased flash, and the read-back says so at the first byte.
Expect SstWriteTest(const Operation& op) {
  Expect e;
  if (op.reach & kPattern) {
    e.outcome = Outcome::kCheckFail;
    e.message = "[0]=88  ROM data=ff -- Test Fail. \n\n";
  }
  return e;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// The image an operation writes.
std::vector<uint8_t> ImageOf(const Operation& op) {
  if (op.args[0] == "bbk.bin") return Image(0x1000);
  if (op.args[0] == "area.bin") return Image(0xF000);
  return Image(0x2000);
}

// The verify's line for a flash address whose lowest bit to clear stayed set.
std::string StuckBitLine(const Operation& op, uint32_t address) {
  const uint32_t offset = address - op.write_start;
  const uint8_t want = ImageOf(op)[offset];
  const uint8_t cleared = static_cast<uint8_t>(~want);
  const uint8_t got = static_cast<uint8_t>(want | (cleared & -cleared));
  return "[" + Hex(offset) + "]=" + Hex(want) + "  ROM data=" + Hex(got) + " -- Verify Fail. \n";
}

bool Covers(const Operation& op, uint32_t address) {
  if ((op.reach & kUpdate) == 0) return false;
  return address >= op.write_start && address - op.write_start < ImageOf(op).size();
}

const std::vector<Fault>& Faults() {
  // The seed that puts the stuck bit at 0x2867: inside the area of /Mn and
  // the image of /O 1000, past the plain 8 KB update and the boot block.
  static constexpr uint32_t kRandomStuckAddress = 0x2867;
  static const std::vector<Fault> faults = {
      {"ec-ibf-stuck:1", Fixed({"--fault", "ec-ibf-stuck:1"}),
       [](const Operation& op) {
         Expect e = (op.reach & (kFlashMode | kEcRam)) ? TimeOut(kEcIbf) : Expect{};
         e.ec_takes_bytes = false;
         return e;
       }},
      {"ec-ibf-stuck:60", Fixed({"--fault", "ec-ibf-stuck:60"}),
       [](const Operation& op) {
         // /V and /VC write fewer than 60 bytes to the EC.
         Expect e = (op.reach & kFlashMode) ? TimeOut(kEcIbf) : Expect{};
         e.ec_takes_bytes = false;
         return e;
       }},
      {"ec-ibf-stuck:5000", Fixed({"--fault", "ec-ibf-stuck:5000"}),
       [](const Operation& op) {
         // Deep in the erase check, programming or read-back (the write
         // test's included); the protection is done before its 5000th byte.
         Expect e = (op.reach & (kUpdate | kDump | kPattern)) ? TimeOut(kEcIbf) : Expect{};
         e.ec_takes_bytes = false;
         return e;
       }},
      {"ec-no-obf", Fixed({"--fault", "ec-no-obf"}),
       [](const Operation& op) {
         return (op.reach & (kFlashMode | kEcRam)) ? TimeOut(kEcObf) : Expect{};
       }},
      {"ec-ack 32", Fixed({"--ec-ack", "32"}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kFlashMode) {
           e.outcome = Outcome::kAckFail;
           e.trace_edits = {{"ec dc -> 33", "ec dc -> 32"}};
         }
         return e;
       }},
      {"ec-ack 00", Fixed({"--ec-ack", "0"}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kFlashMode) {
           e.outcome = Outcome::kAckFail;
           e.trace_edits = {{"ec dc -> 33", "ec dc -> 00"}};
         }
         return e;
       }},
      // The port-decode check at start reads 0x62 and so takes the stale byte.
      {"ec-stale", Fixed({"--fault", "ec-stale:33"}), [](const Operation&) { return Expect{}; }},
      {"kbc-obf-stuck", Fixed({"--fault", "kbc-obf-stuck"}),
       [](const Operation& op) {
         Expect e = (op.kbc_first || op.kbc_last) ? TimeOut(kKbcDrain) : Expect{};
         e.kbc_takes_bytes = false;
         e.flash_as_healthy = !op.kbc_first;
         return e;
       }},
      {"kbc-ibf-stuck:1", Fixed({"--fault", "kbc-ibf-stuck:1"}),
       [](const Operation& op) {
         Expect e = (op.kbc_first || op.kbc_last) ? TimeOut(kKbcIbf) : Expect{};
         e.kbc_takes_bytes = false;
         e.flash_as_healthy = !op.kbc_first;
         return e;
       }},
      {"kbc-ibf-stuck:2", Fixed({"--fault", "kbc-ibf-stuck:2"}),
       [](const Operation& op) {
         // The second keyboard command is the enable at the very end.
         Expect e = op.kbc_first ? TimeOut(kKbcIbf) : Expect{};
         e.kbc_takes_bytes = false;
         e.flash_as_healthy = true;
         return e;
       }},
      {"--kbc-pending 5", Fixed({"--kbc-pending", "5"}), [](const Operation&) { return Expect{}; }},
      {"slow ec+kbc", Fixed({"--ec-latency", "40", "--kbc-latency", "40", "--kbc-pending", "3"}),
       [](const Operation&) { return Expect{}; }, nullptr, 120'000'000'000ull},
      {"busy-stuck", Fixed({"--fault", "busy-stuck"}),
       [](const Operation& op) {
         // The protection's status write on this chip is the volatile kind
         // (after 0x50) and starts no write cycle.
         return (op.reach & (kUpdate | kPattern)) ? TimeOut(kBusy) : Expect{};
       }},
      {"wel-never-sets", Fixed({"--fault", "wel-never-sets"}),
       [](const Operation& op) { return (op.reach & kWrites) ? TimeOut(kWelSet) : Expect{}; }},
      {"wel-never-clears", Fixed({"--fault", "wel-never-clears"}),
       [](const Operation& op) {
         if (op.reach & (kUpdate | kPattern)) return TimeOut(kWelClear);
         Expect e;
         // The protection reads the status back once and does not look at the
         // latch, so it shows it still set.
         if (op.reach & kProtect) {
           e.console_edits = {{"Read Status Register = 0x64", "Read Status Register = 0x66"}};
         }
         return e;
       }},
      {"wp-low", Fixed({"--fault", "wp-low"}), [](const Operation&) { return Expect{}; }},
      {"bit-stuck",
       [](const Operation& op) {
         return std::vector<std::string>({"--fault", "bit-stuck:" + Hex(op.write_start + 0x10)});
       },
       [](const Operation& op) {
         Expect e;
         if (op.reach & kUpdate) {
           e.outcome = Outcome::kCheckFail;
           e.message = StuckBitLine(op, op.write_start + 0x10);
         } else if (op.reach & kPattern) {
           // The write test reads back 0x88 with bit 0 left set.
           e.outcome = Outcome::kCheckFail;
           e.message = "[10]=88  ROM data=89 -- Test Fail. \n\n";
         }
         return e;
       }},
      {"bit-stuck-random:69", Fixed({"--fault", "bit-stuck-random:69"}),
       [](const Operation& op) {
         Expect e;
         if (Covers(op, kRandomStuckAddress)) {
           e.outcome = Outcome::kCheckFail;
           e.message = StuckBitLine(op, kRandomStuckAddress);
         }
         return e;
       }},
      {"erase-leaves",
       [](const Operation& op) {
         // Past the write test's one page, where nothing programs it over.
         const uint32_t at = (op.reach & kPattern) ? 0x120 : op.write_start + 0x20;
         return std::vector<std::string>({"--fault", "erase-leaves:" + Hex(at)});
       },
       [](const Operation& op) {
         Expect e;
         if (op.reach & kUpdate) {
           e.outcome = Outcome::kCheckFail;
           e.message = " -- Verify Fail. counterN=20\n";
         } else if (op.reach & kPattern) {
           e.outcome = Outcome::kCheckFail;
           e.message = "[120]=ff  ROM data=fe -- Test Fail. \n\n";
         }
         return e;
       }},
      // The same faults on chips that program by auto address increment
      // (SST) and whose protection starts a real status write cycle. The SST
      // part comes up with its block-protect bits set and the write test
      // clears no status, so there its erase and page are refused: no write
      // cycle, nothing programmed, and the read-back fails at the first byte.
      {"busy-stuck sst", Fixed({"--fault", "busy-stuck"}),
       [](const Operation& op) {
         return (op.reach & (kUpdate | kProtect)) ? TimeOut(kBusy) : SstWriteTest(op);
       },
       nullptr, 0, kSstChip},
      {"busy-stuck mx25l8005", Fixed({"--fault", "busy-stuck"}),
       [](const Operation& op) { return (op.reach & kWrites) ? TimeOut(kBusy) : Expect{}; },
       nullptr, 0, "mx25l8005"},
      {"wel-never-sets sst", Fixed({"--fault", "wel-never-sets"}),
       [](const Operation& op) { return (op.reach & kWrites) ? TimeOut(kWelSet) : Expect{}; },
       nullptr, 0, kSstChip},
      {"bit-stuck sst",
       [](const Operation& op) {
         return std::vector<std::string>({"--fault", "bit-stuck:" + Hex(op.write_start + 0x10)});
       },
       [](const Operation& op) {
         Expect e;
         if (op.reach & kUpdate) {
           e.outcome = Outcome::kCheckFail;
           e.message = StuckBitLine(op, op.write_start + 0x10);
           return e;
         }
         return SstWriteTest(op);
       },
       nullptr, 0, kSstChip},
      {"sio-foreign", Fixed({"--fault", "sio-foreign"}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kVersion) {
           e.outcome = Outcome::kRefused;
           e.message = kNotXqr;
         }
         return e;
       }},
      {"--sio none", Fixed({"--sio", "none"}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kVersion) {
           e.outcome = Outcome::kRefused;
           e.message = kNotXqr;
         }
         return e;
       }},
      {"--no-ec", Fixed({"--no-ec"}),
       [](const Operation&) {
         Expect e;
         e.outcome = Outcome::kRefused;
         e.message = kNoDecode;
         return e;
       }},
      {"file-short:40000", Fixed({"--fault", "file-short:40000"}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kDump) {
           e.outcome = Outcome::kSaveFail;
           e.message = "-- Save Fail!";
           e.flash_as_healthy = true;
           e.dump_bytes = 40000;
         }
         return e;
       }},
      {"dump-to-full-device", Fixed({}),
       [](const Operation& op) {
         Expect e;
         if (op.reach & kDump) {
           e.outcome = Outcome::kSaveFail;
           e.message = "-- Save Fail!";
           e.flash_as_healthy = true;
         }
         return e;
       },
       // Every write to the dump file fails for want of space. Without the
       // device the link would make the dump a new file named /dev/full.
       [](SimFixture& sim) {
         ASSERT_TRUE(std::filesystem::is_character_file("/dev/full")) << "no /dev/full";
         std::filesystem::create_symlink("/dev/full", sim.Path("XQRFW.bin"));
       }},
  };
  return faults;
}

struct Observed {
  SimResult result;
  std::vector<uint8_t> dump;
};

Observed RunCell(const Operation& op, const std::vector<std::string>& board,
                 const std::function<void(SimFixture&)>& prepare) {
  SimFixture sim;
  sim.WriteFile("ec.bin", Image(0x2000));
  sim.WriteFile("bbk.bin", Image(0x1000));
  sim.WriteFile("area.bin", Image(0xF000));
  sim.WriteFile("fw.bin", VersionImage());
  if (prepare) prepare(sim);
  Observed observed;
  observed.result = sim.Run(board, op.args);
  if (!prepare) observed.dump = sim.ReadFile("XQRFW.bin");
  return observed;
}

// Turns a hang into a failure that names the cell, instead of a test that
// never ends.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { Watch(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Arm(const std::string& label) {
    std::lock_guard<std::mutex> lock(mutex_);
    label_ = label;
    ++generation_;
    wake_.notify_all();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      const uint64_t generation = generation_;
      if (!wake_.wait_for(lock, limit_, [&] { return stop_ || generation_ != generation; })) {
        std::fprintf(stderr, "fault suite: %s did not end within %lld s of host time\n",
                     label_.c_str(), static_cast<long long>(limit_.count()));
        std::abort();
      }
    }
  }

  std::chrono::seconds limit_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string label_ = "setting up";
  uint64_t generation_ = 0;
  bool stop_ = false;
  std::thread thread_;  // last: starts once the members above exist
};

std::string Edit(std::string text, const std::vector<std::pair<std::string, std::string>>& edits) {
  for (const auto& [from, to] : edits) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
  }
  return text;
}

// EC, keyboard and SPI traffic; the super-I/O lines differ with the chip
// that answers, which the faults of that chip change on purpose. On a slower
// board the flash finishes its work in fewer status polls, so there only the
// fact of a poll is compared.
std::vector<std::string> HostTraffic(const std::vector<std::string>& trace,
                                     const std::vector<std::pair<std::string, std::string>>& edits,
                                     bool any_poll_count) {
  std::vector<std::string> lines;
  for (const std::string& line : trace) {
    if (line.rfind("sio ", 0) == 0 || line.rfind("bram ", 0) == 0) continue;
    if (any_poll_count && line.rfind("spi 05 r", 0) == 0) {
      lines.push_back("spi 05 r*");
      continue;
    }
    lines.push_back(Edit(line, edits));
  }
  return lines;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Index of the first line equal to `line` at or after `from`, or -1.
long Find(const std::vector<std::string>& lines, const std::string& line, size_t from = 0) {
  for (size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return static_cast<long>(i);
  }
  return -1;
}

long FindPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(prefix, 0) == 0) return static_cast<long>(i);
  }
  return -1;
}

// What the run looks like to a user, for the printed table.
Outcome Classify(const Observed& cell, const Observed& healthy) {
  const std::string& console = cell.result.console;
  if (console.find("Time-out: ") != std::string::npos) return Outcome::kTimeOut;
  if (console.find("Please check 0x") != std::string::npos ||
      console.find("Not XQR Chip") != std::string::npos) {
    return Outcome::kRefused;
  }
  if (console.find("Verify Fail.") != std::string::npos ||
      console.find("Test Fail.") != std::string::npos) {
    return Outcome::kCheckFail;
  }
  if (console.find("Save Fail!") != std::string::npos) return Outcome::kSaveFail;
  if (console.find(kAckFail) != std::string::npos) return Outcome::kAckFail;
  if (cell.result.flash != healthy.result.flash) return Outcome::kDamage;
  return Outcome::kSame;
}

// The checks every cell must pass, whatever the fault.
void CheckFrame(const Operation& op, const Fault& fault, const Expect& expect, const Observed& cell,
                const Observed& healthy) {
  const SimResult& r = cell.result;
  const SimResult& h = healthy.result;
  EXPECT_LE(r.sim_time_ns, h.sim_time_ns + kGiveUpCeilingNs + fault.extra_ns)
      << "simulated time: the program did not give up within its limits";
  EXPECT_LE(r.counters.port_reads + r.counters.port_writes,
            h.counters.port_reads + h.counters.port_writes + kGiveUpCeilingAccesses +
                (fault.extra_ns != 0 ? 100 * (h.counters.port_reads + h.counters.port_writes) : 0))
      << "port accesses: the program polled without bound";

  const std::vector<std::string> ec = r.TraceLines("ec ");
  const std::vector<std::string> kbc = r.TraceLines("kbc ");
  const long entry = FindPrefix(ec, "ec dc");
  EXPECT_LE(r.TraceLines("ec dc").size(), 1u) << "flash mode entered more than once";

  if (entry >= 0 && expect.ec_takes_bytes) {
    ASSERT_NE(op.leave, nullptr) << "an operation without flash work entered flash mode";
    const long leave = Find(ec, op.leave, static_cast<size_t>(entry));
    EXPECT_EQ(leave, static_cast<long>(ec.size()) - 1)
        << "the leave command " << op.leave << " must end the EC traffic";
    EXPECT_EQ(r.TraceLines("ec fe").size() + r.TraceLines("ec fc").size(), 1u);
    EXPECT_FALSE(r.ec_in_flash_mode) << "the EC was left in flash mode";
    EXPECT_FALSE(r.spi_selected);
  }
  if (op.kbc_first || op.kbc_last) {
    if (expect.kbc_takes_bytes) {
      EXPECT_TRUE(r.keyboard_enabled) << "the keyboard was left disabled";
      if (Find(kbc, "kbc ad") >= 0) {
        EXPECT_EQ(kbc.back(), "kbc ae") << "the keyboard must be enabled again last";
      }
      if (entry >= 0 && expect.ec_takes_bytes && !kbc.empty() && kbc.back() == "kbc ae") {
        // The keyboard comes back only after the EC has left flash mode.
        EXPECT_EQ(r.trace.back(), "kbc ae");
      }
    }
  } else {
    EXPECT_TRUE(kbc.empty()) << "no keyboard command without a keyboard step (/k, queries)";
  }
}

void CheckCell(const Operation& op, const Fault& fault, const Expect& expect, const Observed& cell,
               const Observed& healthy) {
  const SimResult& r = cell.result;
  const SimResult& h = healthy.result;
  CheckFrame(op, fault, expect, cell, healthy);
  EXPECT_STREQ(Code(Classify(cell, healthy)), Code(expect.outcome));

  switch (expect.outcome) {
    case Outcome::kSame:
    case Outcome::kAckFail: {
      std::vector<std::pair<std::string, std::string>> console_edits = expect.console_edits;
      std::string want_console = h.console;
      if (expect.outcome == Outcome::kAckFail) {
        if (want_console.find(kAckOk) != std::string::npos) {
          console_edits.push_back({kAckOk, kAckFail});
        } else {
          // The dump says nothing of a right acknowledgement.
          const std::string save = "Save FW to XQRFW.bin : ";
          console_edits.push_back({save, save + kAckFail});
        }
      }
      EXPECT_EQ(r.status, h.status);
      EXPECT_EQ(r.console, Edit(want_console, console_edits));
      const bool slow = fault.extra_ns != 0;
      EXPECT_EQ(HostTraffic(r.trace, {}, slow), HostTraffic(h.trace, expect.trace_edits, slow));
      EXPECT_TRUE(r.flash == h.flash) << "flash contents differ from the healthy run";
      EXPECT_TRUE(cell.dump == healthy.dump) << "dump file differs from the healthy run";
      break;
    }
    case Outcome::kDamage: {
      EXPECT_EQ(r.status, h.status);
      EXPECT_EQ(r.console, h.console);
      std::vector<uint8_t> want = h.flash;
      ASSERT_LT(expect.damage_address, want.size());
      want[expect.damage_address] = expect.damage_value;
      EXPECT_TRUE(r.flash == want) << "only the faulty byte may differ";
      break;
    }
    case Outcome::kTimeOut:
    case Outcome::kCheckFail:
    case Outcome::kSaveFail:
    case Outcome::kRefused: {
      EXPECT_EQ(r.status, 1);
      // What to do follows every failure but a refusal; before flash mode the
      // flash cannot have changed.
      const size_t advice = r.console.find("\n\rWhat to do now:\n\r");
      EXPECT_EQ(advice != std::string::npos, expect.outcome != Outcome::kRefused) << r.console;
      if (advice != std::string::npos && r.TraceLines("ec dc").empty()) {
        EXPECT_TRUE(EndsWith(r.console, "What to do now:\n\rThe flash was not changed.\n\r"));
      }
      const std::string body = r.console.substr(0, advice);
      EXPECT_TRUE(EndsWith(body, expect.message))
          << "the run must end with its one message: " << expect.message;
      // An update's failed check is the last of the block's three attempts.
      const size_t attempts =
          expect.outcome == Outcome::kCheckFail && (op.reach & kUpdate) != 0 ? 3 : 1;
      EXPECT_EQ(Count(r.console, expect.message), attempts);
      EXPECT_EQ(Count(r.console, "Time-out: ") + Count(r.console, "Verify Fail.") +
                    Count(r.console, "Test Fail.") + Count(r.console, "Save Fail!") +
                    Count(r.console, "Please check 0x") + Count(r.console, "Not XQR Chip"),
                attempts)
          << "exactly one failure message";
      if (expect.outcome == Outcome::kRefused) {
        EXPECT_TRUE(r.TraceLines("ec ").empty() && r.TraceLines("kbc ").empty() &&
                    r.TraceLines("spi ").empty())
            << "a refusal touches neither the EC, the keyboard nor the flash";
      }
      if (expect.flash_as_healthy) {
        EXPECT_TRUE(r.flash == h.flash) << "the flash work before the fault must be complete";
        if ((op.reach & kDump) && !fault.prepare) {
          const size_t bytes = std::min(expect.dump_bytes, healthy.dump.size());
          EXPECT_TRUE(cell.dump == std::vector<uint8_t>(
                                       healthy.dump.begin(),
                                       healthy.dump.begin() + static_cast<std::ptrdiff_t>(bytes)))
              << "the dump before the fault must be complete: " << cell.dump.size() << " of "
              << healthy.dump.size();
        }
      }
      break;
    }
  }
}

// Table columns.
std::string Cell(const std::string& text) {
  return text + std::string(text.size() < 10 ? 10 - text.size() : 1, ' ');
}
std::string Label(const std::string& text) {
  return text + std::string(text.size() < 21 ? 21 - text.size() : 1, ' ');
}

// A cell's name for --gtest_filter: the fault and the operation with every
// run of other characters as one underscore, e.g. busy_stuck_sst_x_Mn.
std::string Slug(const std::string& text) {
  std::string slug;
  for (char c : text) {
    const bool word = std::isalnum(static_cast<unsigned char>(c)) != 0;
    if (word) {
      slug += c;
    } else if (!slug.empty() && slug.back() != '_') {
      slug += '_';
    }
  }
  if (!slug.empty() && slug.back() == '_') slug.pop_back();
  return slug;
}

// One cell: a fault (index into Faults()) against an operation (into
// Operations()).
using CellIndex = std::tuple<size_t, size_t>;

class FaultCell : public testing::TestWithParam<CellIndex> {
 public:
  static void SetUpTestSuite() { watchdog_ = new Watchdog(std::chrono::seconds(120)); }

  // Prints the outcome and time tables of the cells this process ran, one
  // line per fault and one column per operation.
  static void TearDownTestSuite() {
    delete watchdog_;
    watchdog_ = nullptr;
    if (!results_.empty()) {
      std::vector<bool> fault_ran(Faults().size()), op_ran(Operations().size());
      for (const auto& [index, texts] : results_) {
        fault_ran[std::get<0>(index)] = true;
        op_ran[std::get<1>(index)] = true;
      }
      std::string header = "fault \\ operation    ";
      for (size_t o = 0; o < op_ran.size(); ++o) {
        if (op_ran[o]) header += Cell(Operations()[o].name);
      }
      std::string outcomes = "\n" + header + "\n";
      std::string times =
          "\nsimulated time in seconds (port accesses in thousands)\n" + header + "\n";
      for (size_t f = 0; f < fault_ran.size(); ++f) {
        if (!fault_ran[f]) continue;
        std::string outcome_line = Label(Faults()[f].name);
        std::string time_line = Label(Faults()[f].name);
        for (size_t o = 0; o < op_ran.size(); ++o) {
          if (!op_ran[o]) continue;
          const auto found = results_.find({f, o});
          outcome_line += Cell(found != results_.end() ? found->second.first : "-");
          time_line += Cell(found != results_.end() ? found->second.second : "-");
        }
        outcomes += outcome_line + "\n";
        times += time_line + "\n";
      }
      outcomes +=
          "\nsame: as the healthy run; ACK: \"EC ACK Fail.\" and then as the healthy run; "
          "T/O: a wait gave up;\nVFY: an erase check or verify failed; SAVE: the dump could not "
          "be written; REF: refused at start;\nDMG: ran as the healthy run but left a wrong byte "
          "in the flash. The number is the exit status; -: not run.\n";
      std::printf("%s%s", outcomes.c_str(), times.c_str());
    }
    results_.clear();
    healthy_.clear();
  }

 protected:
  // The healthy run of an operation on a chip, made when a cell first needs
  // it and checked then.
  static const Observed& Reference(const char* chip, const Operation& op) {
    const std::string key = std::string(chip != nullptr ? chip : "") + "|" + op.name;
    auto found = healthy_.find(key);
    if (found != healthy_.end()) return found->second;
    watchdog_->Arm("healthy x " + key);
    std::vector<std::string> board;
    if (chip != nullptr) board = {"--chip", chip};
    const Observed& observed = healthy_[key] = RunCell(op, board, nullptr);
    const SimResult& h = observed.result;
    // The reference runs themselves must be sound.
    // The SST part comes up protected: its write test fails, and says so.
    const bool protected_test =
        (op.reach & kPattern) && chip != nullptr && std::string(chip) == kSstChip;
    EXPECT_EQ(h.status, protected_test ? 1 : 0) << key << "\n" << h.console;
    EXPECT_EQ(h.console.find("Time-out"), std::string::npos) << key;
    if (op.leave != nullptr) {
      EXPECT_EQ(h.TraceLines("ec ").back(), op.leave) << key;
    }
    if (op.reach & kUpdate) {
      const std::vector<uint8_t> image = ImageOf(op);
      EXPECT_TRUE(h.flash.size() >= op.write_start + image.size() &&
                  std::equal(image.begin(), image.end(), h.flash.begin() + op.write_start))
          << key << ": the healthy update must write the image";
    }
    return observed;
  }

  static inline Watchdog* watchdog_ = nullptr;
  static inline std::map<std::string, Observed> healthy_;
  // Outcome and time text per cell run.
  static inline std::map<CellIndex, std::pair<std::string, std::string>> results_;
};

TEST_P(FaultCell, EndsCleanly) {
  const auto [f, o] = GetParam();
  const Fault& fault = Faults()[f];
  const Operation& op = Operations()[o];
  const Observed& healthy_run = Reference(fault.chip, op);
  watchdog_->Arm(std::string(fault.name) + " x " + op.name);
  std::vector<std::string> board = fault.board(op);
  if (fault.chip != nullptr) board.insert(board.begin(), {"--chip", fault.chip});
  const Observed cell = RunCell(op, board, fault.prepare);
  CheckCell(op, fault, fault.expect(op), cell, healthy_run);
  const SimResult& r = cell.result;
  char time[32];
  std::snprintf(
      time, sizeof time, "%.1f(%llu)", static_cast<double>(r.sim_time_ns) / 1e9,
      static_cast<unsigned long long>((r.counters.port_reads + r.counters.port_writes) / 1000));
  results_[{f, o}] = {
      std::string(Code(Classify(cell, healthy_run))) + " " + std::to_string(r.status), time};
}

INSTANTIATE_TEST_SUITE_P(FaultSuite, FaultCell,
                         testing::Combine(testing::Range(size_t{0}, Faults().size()),
                                          testing::Range(size_t{0}, Operations().size())),
                         [](const testing::TestParamInfo<CellIndex>& info) {
                           return Slug(Faults()[std::get<0>(info.param)].name) + "_x_" +
                                  Slug(Operations()[std::get<1>(info.param)].name);
                         });

}  // namespace
