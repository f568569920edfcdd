// Every fault the board model can inject, against every operation of the
// program. Whatever fails, a user must get the machine back: the program ends
// after a bounded number of polls and a bounded stretch of simulated time,
// names what failed in one message, takes the EC out of flash mode when it had
// put it there and the EC still takes bytes, gives the keyboard back when it
// had switched it off, says what to do now and exits with status 1, or 2
// once the flash was changed or the EC could not be taken out of flash
// mode; an update that has not finished never resets the EC. A wrong
// acknowledgement is the exception: the operation goes on exactly as after a
// right one. A fault that strikes once costs the update one retry of its
// block and nothing else.
//
// Every run starts on a flash filled with a pattern. The range an operation
// may write is computed here from its image, path, offset and the chip's
// erase unit: outside it every byte must still hold the pattern, whatever
// failed, and a healthy run holds the image exactly there. Each cell is also
// compared with a healthy run of the same operation, and the whole table is
// printed, one line per fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sim/flash/flash_chip.h"
#include "sim/flash/flash_profile.h"
#include "support/chip_facts.h"
#include "support/host_deadline.h"
#include "support/request_oracle.h"
#include "support/sim_fixture.h"
#include "support/test_data.h"

namespace {

using simtest::Count;
using simtest::Hex;
using simtest::Lower;
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
  kCompare = 1u << 7,   // reads the flash against an image, writes nothing (/D)
  kFlashMode = kUpdate | kDump | kPattern | kProtect | kCompare,
  kWrites = kUpdate | kPattern | kProtect,
  kVersion = kEcRam | kBram,
};

using oracle::Path;

struct Operation {
  const char* name;
  std::vector<std::string> args;
  unsigned reach;
  Path path;          // of an update; kWhole for the other operations
  uint32_t offset;    // the /O of an update
  const char* leave;  // trace line of the leave command, for operations in flash mode
  bool kbc_first;     // disables the keyboard before entering flash mode
  bool kbc_last;      // enables it at the end
};

const std::vector<Operation>& Operations() {
  using P = Path;
  constexpr Path kNone = Path::kWhole;
  static const std::vector<Operation> ops = {
      {"upd", {"ec.bin", "8"}, kUpdate, P::kWhole, 0, "ec fe", true, true},
      {"upd/k/j", {"ec.bin", "8", "/k", "/j"}, kUpdate, P::kWhole, 0, "ec fc", false, false},
      {"/BK", {"bbk.bin", "4", "/BK"}, kUpdate, P::kBoot, 0, "ec fe", true, true},
      {"/Mn", {"area.bin", "60", "/Mn"}, kUpdate, P::kMain, 0, "ec fe", true, true},
      {"/Bp", {"area.bin", "60", "/Bp"}, kUpdate, P::kBackup, 0, "ec fe", true, true},
      {"/O", {"ec.bin", "8", "/O", "1000"}, kUpdate, P::kWhole, 0x1000, "ec fe", true, true},
      {"/U", {"ec.bin", "8", "/U"}, kUpdate, P::kWhole, 0, "ec fe", true, true},
      // Against the flash's own pattern, so that the healthy run finds it equal.
      {"/D", {"held.bin", "8", "/D"}, kCompare, kNone, 0, "ec fc", true, true},
      {"/S", {"/S", "64"}, kDump, kNone, 0, "ec fe", false, true},
      {"/T", {"/T"}, kPattern, kNone, 0, "ec fc", true, true},
      {"/PB", {"/PB"}, kProtect, kNone, 0, "ec fc", true, true},
      {"/V", {"/V"}, kEcRam, kNone, 0, nullptr, false, false},
      {"/VB", {"/VB", "04A"}, kBram, kNone, 0, nullptr, false, false},
      {"/VBF", {"/VBF", "fw.bin"}, kBram, kNone, 0, nullptr, false, false},
      {"/VC", {"/VC"}, kEcRam, kNone, 0, nullptr, false, false},
      {"/c", {"/c", "ec.bin"}, kChecksum, kNone, 0, nullptr, false, false},
  };
  return ops;
}

// The chip a fault runs on, from its row of chip facts; no name: the
// board's default part.
oracle::Part ChipNamed(const char* name) {
  const char* wanted = name != nullptr ? name : FlashProfileName(DefaultFlashProfile());
  const oracle::Part part = oracle::PartOf(wanted);
  EXPECT_NE(part.size, 0) << "no chip facts for " << wanted;
  return part;
}

// Image bytes that are never 0xFF, so that every byte clears some bit and a
// bit that does not stick always shows.
const std::vector<uint8_t>& Image(size_t size) {
  static std::map<size_t, std::vector<uint8_t>> made;
  std::vector<uint8_t>& bytes = made[size];
  if (bytes.empty()) bytes = simtest::TestImage(size);
  return bytes;
}

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
  kCheckFail,  // an erase check, verify or read-back failed
  kRetried,    // a block failed its check once and its retry passed
  kSaveFail,   // the dump file could not be written
  kRefused,    // refused before any operation started
  kDamage,     // ran as the healthy run but left a wrong byte in the flash:
               // never expected, only reported
};

// The table's short name of each outcome, in the order above.
const char* Code(Outcome outcome) {
  static const char* const kCodes[] = {"same", "ACK", "T/O", "VFY", "RTY", "SAVE", "REF", "DMG"};
  return kCodes[static_cast<int>(outcome)];
}

struct Expect {
  Outcome outcome = Outcome::kSame;
  // The one failure message, exactly as printed; the console ends with it
  // (a retried block: the check's line, once).
  std::string message{};
  // Console and trace of the healthy run with these texts replaced.
  std::vector<std::pair<std::string, std::string>> console_edits{};
  std::vector<std::pair<std::string, std::string>> trace_edits{};
  bool ec_takes_bytes = true;
  bool kbc_takes_bytes = true;
  // The fault struck after the flash work was done: the flash is as healthy.
  bool flash_as_healthy = false;
  // A dump cut short: the bytes that reached the file, a prefix of the
  // healthy dump (none: a dump takes its name only once it is whole).
  size_t dump_bytes = SIZE_MAX;
  // /PB: what the chip's status register holds at the end, and what its
  // status file beside the flash keeps ("NAME HH HH\n", the bits that
  // survive a power cycle); -1 and empty when not judged.
  int status_register = -1;
  std::string status_file{};
};

// The status bits a /PB cell leaves, live and kept.
Expect WithStatus(Expect e, const Operation& op, int live, const char* kept) {
  if (op.reach & kProtect) {
    e.status_register = live;
    e.status_file = kept;
  }
  return e;
}

struct Fault {
  std::string name;
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

const std::string kEcSilent = "The EC stopped answering.\n";
const std::string kKbcSilent = "The keyboard controller stopped answering.\n";
const std::string kEcIbf =
    "\n\rTime-out: EC input buffer (port 0x66 IBF) never cleared\n" + kEcSilent;
const std::string kEcObf = "\n\rTime-out: no EC data byte (port 0x66 OBF) arrived\n" + kEcSilent;
const std::string kKbcDrain =
    "\n\rTime-out: keyboard controller output (port 0x60) never drained\n" + kKbcSilent;
const std::string kKbcIbf =
    "\n\rTime-out: keyboard controller input buffer (port 0x64 IBF) never cleared\n" + kKbcSilent;
const std::string kBusy = "\n\rTime-out: SPI flash stayed busy\nThe flash chip stayed busy.\n";
const std::string kWelSet =
    "\n\rTime-out: SPI flash write-enable latch never set\n"
    "The flash chip did not take the write enable.\n";
const std::string kWelClear =
    "\n\rTime-out: SPI flash write-enable latch never cleared\n"
    "The flash chip did not take the write disable.\n";
const std::string kNoDecode = "\n\rPlease check 0x66/0x62 are decode and try again!\n\n";
const std::string kNotXqr = "\n\rNot XQR Chip\n\r";
const std::string kDumpOpenFail = "open XQRFW.bin fail";
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

// What the flash holds before every run: never 0xFF, so an erase shows, and
// different from one 16-byte run to the next and from one sector to the
// next, so a write at the wrong place shows.
uint8_t PatternByte(size_t address) {
  return static_cast<uint8_t>(0x40 | (((address >> 4) ^ (address >> 12) * 5) & 0x3F));
}

// Made once per size: every run and every check needs it.
const std::vector<uint8_t>& Pattern(size_t size) {
  static std::map<size_t, std::vector<uint8_t>> made;
  std::vector<uint8_t>& bytes = made[size];
  if (bytes.size() != size) {
    bytes.resize(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = PatternByte(i);
  }
  return bytes;
}

// The write test on the protected SST part: nothing of its pattern lands,
// and the read-back says so at the first byte.
Expect SstWriteTest(const Operation& op) {
  Expect e;
  if (op.reach & kPattern) {
    e.outcome = Outcome::kCheckFail;
    e.message = "[0]=88  ROM data=" + Hex(PatternByte(0)) + " -- Test Fail. \n\n";
  }
  return e;
}

// The image an operation writes.
const std::vector<uint8_t>& ImageOf(const Operation& op) {
  if (op.args[0] == "bbk.bin") return Image(0x1000);
  if (op.args[0] == "area.bin") return Image(0xF000);
  return Image(0x2000);
}

// The request an update makes, for the oracle's footprint.
oracle::Footprint FootprintOf(const Operation& op, const oracle::Part& part) {
  return oracle::FootprintOf({&part, static_cast<int64_t>(ImageOf(op).size()), op.path, op.offset});
}

// Where an update's image byte 0 lands, whatever the chip.
uint32_t ImageAt(const Operation& op) {
  static const oracle::Part kAnyPart = {"", 0, 0, 1, false};
  return static_cast<uint32_t>(FootprintOf(op, kAnyPart).image_at);
}

// [begin, end) of the flash an operation may erase or program on a chip: an
// update's footprint, the write test's first sector; nothing for the others.
struct Range {
  uint32_t begin = 0;
  uint32_t end = 0;
};

Range WriteRange(const Operation& op, const oracle::Part& part) {
  if (op.reach & kPattern) return {0, oracle::kSector};
  if ((op.reach & kUpdate) == 0) return {};
  const oracle::Footprint f = FootprintOf(op, part);
  return {static_cast<uint32_t>(f.begin), static_cast<uint32_t>(f.end)};
}

// The flash after a healthy run: the pattern, the range erased, the image
// (or the write test's page of 0x88) in it. The protected SST part takes
// nothing of the write test.
std::vector<uint8_t> HealthyFlash(const Operation& op, const oracle::Part& chip) {
  std::vector<uint8_t> flash = Pattern(chip.size);
  if ((op.reach & kPattern) && std::string(chip.name) == kSstChip) return flash;
  const Range range = WriteRange(op, chip);
  std::fill(flash.begin() + range.begin, flash.begin() + range.end, 0xFF);
  if (op.reach & kUpdate) {
    const std::vector<uint8_t> image = ImageOf(op);
    std::copy(image.begin(), image.end(), flash.begin() + ImageAt(op));
  } else if (op.reach & kPattern) {
    std::fill(flash.begin(), flash.begin() + 0x100, 0x88);
  }
  return flash;
}

// The first address outside the range that no longer holds the pattern, or
// -1.
long StrayWrite(const std::vector<uint8_t>& flash, const Range& range) {
  const std::vector<uint8_t>& pattern = Pattern(flash.size());
  const auto first = [&](size_t from, size_t to) -> long {
    const auto differs =
        std::mismatch(flash.begin() + from, flash.begin() + to, pattern.begin() + from);
    return differs.first == flash.begin() + to ? -1 : differs.first - flash.begin();
  };
  const size_t begin = std::min<size_t>(range.begin, flash.size());
  const size_t end = std::min<size_t>(std::max(range.end, range.begin), flash.size());
  const long before = first(0, begin);
  return before >= 0 ? before : first(end, flash.size());
}

void ExpectFlash(const std::vector<uint8_t>& flash, const std::vector<uint8_t>& want,
                 const std::string& what) {
  ASSERT_EQ(flash.size(), want.size()) << what;
  const auto differs = std::mismatch(flash.begin(), flash.end(), want.begin());
  if (differs.first != flash.end()) {
    ADD_FAILURE() << what << ": flash 0x"
                  << Hex(static_cast<unsigned>(differs.first - flash.begin())) << " holds 0x"
                  << Hex(*differs.first) << ", expected 0x" << Hex(*differs.second);
  }
}

// The verify's line for a flash address whose lowest bit to clear stayed set.
std::string StuckBitLine(const Operation& op, uint32_t address) {
  const uint32_t offset = address - ImageAt(op);
  const uint8_t want = ImageOf(op)[offset];
  const uint8_t cleared = static_cast<uint8_t>(~want);
  const uint8_t got = static_cast<uint8_t>(want | (cleared & -cleared));
  return "[" + Hex(offset) + "]=" + Hex(want) + "  ROM data=" + Hex(got) + " -- Verify Fail. \n";
}

bool Covers(const Operation& op, uint32_t address) {
  if ((op.reach & kUpdate) == 0) return false;
  return address >= ImageAt(op) && address - ImageAt(op) < ImageOf(op).size();
}

bool ChangedOnly(const Operation& op) { return op.args.back() == "/U"; }

// /U has no erase check: a byte an erase left at 0xFE shows in the verify,
// unless the image clears its bit 0 anyway.
Expect ErasedLeftInVerify(const Operation& op, Outcome outcome) {
  Expect e;
  const uint8_t want = ImageOf(op)[0x20];
  if (want & 1) {
    e.outcome = outcome;
    e.message = "[20]=" + Hex(want) + "  ROM data=" + Hex(want & 0xFE) + " -- Verify Fail. \n";
  }
  return e;
}

// A stuck bit where the image (the write test: its page) is programmed, or
// an erase that leaves a byte past the write test's page, where nothing
// programs over it; on a chip, null for the board's default. Once: the fault
// strikes once, and the update does the block again and ends as healthy,
// having printed the failed check's line once; the write test, which does
// not retry, fails as on a fault that stays.
Fault StuckFault(const char* kind, bool once, const char* chip) {
  const bool bit = std::string(kind) == "bit-stuck";
  const auto address = [bit](const Operation& op) {
    if (op.reach & kPattern) return bit ? 0x10u : 0x120u;
    return ImageAt(op) + (bit ? 0x10u : 0x20u);
  };
  const std::string option = std::string(kind) + (once ? "-once" : "");
  const Outcome failed = once ? Outcome::kRetried : Outcome::kCheckFail;
  Fault fault;
  fault.name = option;
  if (chip != nullptr)
    fault.name += std::string(" ") + (chip == std::string(kSstChip) ? "sst" : chip);
  fault.board = [option, address](const Operation& op) {
    return std::vector<std::string>({"--fault", option + ":" + Hex(address(op))});
  };
  fault.expect = [bit, chip, address, failed](const Operation& op) {
    Expect e;
    if (!bit && ChangedOnly(op)) return ErasedLeftInVerify(op, failed);
    if (op.reach & kUpdate) {
      e.outcome = failed;
      e.message = bit ? StuckBitLine(op, address(op)) : " -- Verify Fail. counterN=20\n";
    } else if (op.reach & kPattern) {
      if (chip != nullptr && chip == std::string(kSstChip)) return SstWriteTest(op);
      e.outcome = Outcome::kCheckFail;
      e.message = bit ? "[10]=88  ROM data=89 -- Test Fail. \n\n"
                      : "[120]=ff  ROM data=fe -- Test Fail. \n\n";
    }
    return e;
  };
  fault.chip = chip;
  return fault;
}

// `hit` of the operations that reach `reach`, `missed` of the others.
std::function<Expect(const Operation&)> On(unsigned reach, Expect hit, Expect missed = {}) {
  return [=](const Operation& op) { return (op.reach & reach) ? hit : missed; };
}

// /PB refuses the part before its write enable, fault or not: the power-up
// status bits stay, `live` and `kept`; `others` for the other operations.
std::function<Expect(const Operation&)> ProtectRefused(
    int live, const char* kept, std::function<Expect(const Operation&)> others) {
  return [=](const Operation& op) {
    return (op.reach & kProtect) ? WithStatus(Expect{}, op, live, kept) : others(op);
  };
}

// A keyboard controller that stops taking bytes: the wait on it gives up
// at the operation's first keyboard command (`at_the_end`: only at the
// enable after the flash work, which is complete then).
std::function<Expect(const Operation&)> KbcStuck(const std::string& message, bool at_the_end) {
  return [=](const Operation& op) {
    const bool hit = at_the_end ? op.kbc_first : (op.kbc_first || op.kbc_last);
    Expect e = hit ? TimeOut(message) : Expect{};
    e.kbc_takes_bytes = false;
    e.flash_as_healthy = at_the_end || !op.kbc_first;
    return e;
  };
}

const std::vector<Fault>& Faults() {
  using O = Outcome;
  // The seed that puts the stuck bit at 0x2867: inside the area of /Mn and
  // the image of /O 1000, past the plain 8 KB update and the boot block.
  static constexpr uint32_t kRandomStuckAddress = 0x2867;
  const auto as_healthy = On(0, {});
  const Expect deaf_ec = {.ec_takes_bytes = false};
  const Expect deaf_ec_timeout = {
      .outcome = O::kTimeOut, .message = kEcIbf, .ec_takes_bytes = false};
  const Expect not_xqr = {.outcome = O::kRefused, .message = kNotXqr};
  static const std::vector<Fault> faults = {
      {"ec-ibf-stuck:1", Fixed({"--fault", "ec-ibf-stuck:1"}),
       On(kFlashMode | kEcRam, deaf_ec_timeout, deaf_ec)},
      {"ec-ibf-stuck:60", Fixed({"--fault", "ec-ibf-stuck:60"}),
       [=](const Operation& op) {
         // /V and /VC write fewer than 60 bytes to the EC. /PB's 60th comes
         // after its status write, which took, non-volatile.
         return WithStatus((op.reach & kFlashMode) ? deaf_ec_timeout : deaf_ec, op, 0x64,
                           "w25q80 64 00\n");
       }},
      // Deep in the erase check, programming or read-back (the write test's
      // included); the protection is done before its 5000th byte.
      {"ec-ibf-stuck:5000", Fixed({"--fault", "ec-ibf-stuck:5000"}),
       On(kUpdate | kDump | kPattern | kCompare, deaf_ec_timeout, deaf_ec)},
      {"ec-no-obf", Fixed({"--fault", "ec-no-obf"}), On(kFlashMode | kEcRam, TimeOut(kEcObf))},
      {"ec-ack 32", Fixed({"--ec-ack", "32"}),
       On(kFlashMode, {.outcome = O::kAckFail, .trace_edits = {{"ec dc -> 33", "ec dc -> 32"}}})},
      {"ec-ack 00", Fixed({"--ec-ack", "0"}),
       On(kFlashMode, {.outcome = O::kAckFail, .trace_edits = {{"ec dc -> 33", "ec dc -> 00"}}})},
      // The port-decode check at start reads 0x62 and so takes the stale byte.
      {"ec-stale", Fixed({"--fault", "ec-stale:33"}), as_healthy},
      {"kbc-obf-stuck", Fixed({"--fault", "kbc-obf-stuck"}), KbcStuck(kKbcDrain, false)},
      {"kbc-ibf-stuck:1", Fixed({"--fault", "kbc-ibf-stuck:1"}), KbcStuck(kKbcIbf, false)},
      // The second keyboard command is the enable at the very end.
      {"kbc-ibf-stuck:2", Fixed({"--fault", "kbc-ibf-stuck:2"}), KbcStuck(kKbcIbf, true)},
      {"--kbc-pending 5", Fixed({"--kbc-pending", "5"}), as_healthy},
      {"slow ec+kbc", Fixed({"--ec-latency", "40", "--kbc-latency", "40", "--kbc-pending", "3"}),
       as_healthy, nullptr, 120'000'000'000ull},
      // The protection's status write starts a write cycle that never ends;
      // its bits are set and kept already.
      {"busy-stuck", Fixed({"--fault", "busy-stuck"}),
       [](const Operation& op) {
         return WithStatus((op.reach & (kUpdate | kPattern | kProtect)) ? TimeOut(kBusy) : Expect{},
                           op, 0x67, "w25q80 64 00\n");
       }},
      {"wel-never-sets", Fixed({"--fault", "wel-never-sets"}), On(kWrites, TimeOut(kWelSet))},
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
      {"wp-low", Fixed({"--fault", "wp-low"}), as_healthy},
      StuckFault("bit-stuck", false, nullptr),
      {"bit-stuck-random:69", Fixed({"--fault", "bit-stuck-random:69"}),
       [](const Operation& op) {
         Expect e;
         if (Covers(op, kRandomStuckAddress)) {
           e.outcome = Outcome::kCheckFail;
           e.message = StuckBitLine(op, kRandomStuckAddress);
         }
         return e;
       }},
      StuckFault("erase-leaves", false, nullptr),
      // The same faults on chips that program by auto address increment
      // (SST) and whose protection starts a real status write cycle. The SST
      // part comes up with its block-protect bits set and the write test
      // clears no status, so there its erase and page are refused: no write
      // cycle, nothing programmed, and the read-back fails at the first byte.
      {"busy-stuck sst", Fixed({"--fault", "busy-stuck"}),
       ProtectRefused(0x1C, "sst25vf080b 00 00\n",
                      [](const Operation& op) {
                        return (op.reach & kUpdate) ? TimeOut(kBusy) : SstWriteTest(op);
                      }),
       nullptr, 0, kSstChip},
      {"busy-stuck mx25l8005", Fixed({"--fault", "busy-stuck"}),
       ProtectRefused(0x00, "mx25l8005 00 00\n", On(kWrites, TimeOut(kBusy))), nullptr, 0,
       "mx25l8005"},
      {"wel-never-sets sst", Fixed({"--fault", "wel-never-sets"}),
       ProtectRefused(0x1C, "sst25vf080b 00 00\n", On(kWrites, TimeOut(kWelSet))), nullptr, 0,
       kSstChip},
      StuckFault("bit-stuck", false, kSstChip),
      StuckFault("bit-stuck", true, nullptr),
      StuckFault("bit-stuck", true, kSstChip),
      StuckFault("bit-stuck", true, "mx25l8005"),
      StuckFault("erase-leaves", true, nullptr),
      StuckFault("erase-leaves", true, kSstChip),
      StuckFault("erase-leaves", true, "mx25l8005"),
      // A status register locked by its SRWD bit while WP# is held low takes
      // no write. /PB refuses this part before writing anyway. The update's
      // clear of the protection does not take, and has nothing to clear. The
      // locked register starts no write cycle: the busy poll after the
      // update's status clear ends at its first read.
      {"wp-low locked mx25l8005", Fixed({"--fault", "wp-low"}),
       On(kProtect, {.status_register = 0x80, .status_file = "mx25l8005 80 00\n"},
          {.trace_edits = {{"spi 05 r79", "spi 05 r1"}}}),
       [](SimFixture& sim) {
         sim.WriteFile("tolvi-sim-flash.bin.status", std::string("mx25l8005 80 00\n"));
       },
       0, "mx25l8005"},
      {"sio-foreign", Fixed({"--fault", "sio-foreign"}), On(kVersion, not_xqr)},
      {"--sio none", Fixed({"--sio", "none"}), On(kVersion, not_xqr)},
      {"--no-ec", Fixed({"--no-ec"}), On(~0u, {.outcome = O::kRefused, .message = kNoDecode})},
      {"file-short:40000", Fixed({"--fault", "file-short:40000"}),
       On(kDump, {.outcome = O::kSaveFail,
                  .message = "-- Save Fail!",
                  .flash_as_healthy = true,
                  .dump_bytes = 0})},
      {"dump-to-full-device", Fixed({}),
       On(kDump, {.outcome = O::kRefused, .message = kDumpOpenFail, .flash_as_healthy = true}),
       // A device is no file to dump into: refused before the EC is asked.
       // Without the device the link would make the dump a new file named
       // /dev/full.
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
  std::string status_file;  // the chip's status bits as kept beside the flash file
};

constexpr const char* kFlashFile = "tolvi-sim-flash.bin";

// The one run directory of the process, its input files written once. Each
// run starts with the flash file set to the pattern and without anything an
// earlier run or preparation left (the dump, the status file, a link).
SimFixture& RunDirectory() {
  static SimFixture sim;
  static const bool written = [] {
    sim.WriteFile("ec.bin", Image(0x2000));
    sim.WriteFile("bbk.bin", Image(0x1000));
    sim.WriteFile("area.bin", Image(0xF000));
    sim.WriteFile("fw.bin", VersionImage());
    sim.WriteFile("held.bin", std::vector<uint8_t>(Pattern(0x2000)));
    return true;
  }();
  (void)written;
  for (const auto& entry : std::filesystem::directory_iterator(sim.Dir())) {
    const std::string name = entry.path().filename().string();
    if (name != "ec.bin" && name != "bbk.bin" && name != "area.bin" && name != "fw.bin" &&
        name != "held.bin") {
      std::filesystem::remove(entry.path());
    }
  }
  return sim;
}

Observed RunCell(const Operation& op, const oracle::Part& chip,
                 const std::vector<std::string>& board,
                 const std::function<void(SimFixture&)>& prepare) {
  SimFixture& sim = RunDirectory();
  sim.WriteFile(kFlashFile, Pattern(chip.size));
  if (prepare) prepare(sim);
  Observed observed;
  observed.result = sim.Run(board, op.args);
  if (!std::filesystem::is_symlink(sim.Path("XQRFW.bin")))
    observed.dump = sim.ReadFile("XQRFW.bin");
  const std::vector<uint8_t> status = sim.ReadFile(std::string(kFlashFile) + ".status");
  observed.status_file.assign(status.begin(), status.end());
  return observed;
}

// Turns a hang into a failure that names the cell, instead of a test that
// never ends.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::seconds limit)
      : deadline_(limit, [this, limit] {
          std::lock_guard<std::mutex> lock(mutex_);
          std::fprintf(stderr, "fault suite: %s did not end within %lld s of host time\n",
                       label_.c_str(), static_cast<long long>(limit.count()));
          std::abort();
        }) {}
  void Arm(const std::string& label) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      label_ = label;
    }
    deadline_.Rearm();
  }

 private:
  std::mutex mutex_;
  std::string label_ = "setting up";
  simtest::HostDeadline deadline_;  // last: watches once the label exists
};

// The update's summary states the modelled time, which a slower board
// changes: the rest of the line is compared.
std::string WithoutTime(std::string text) {
  const size_t at = text.rfind("\n\rDone: ");
  const size_t in = at == std::string::npos ? at : text.find(" in ", at);
  const size_t end = in == std::string::npos ? in : text.find(" s.\n\r", in);
  if (end != std::string::npos) text.erase(in, end - in);
  return text;
}

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

// Each failure message's mark on the console and what it makes of the run,
// the first found deciding.
const std::vector<std::pair<std::string, Outcome>>& FailureMarks() {
  static const std::vector<std::pair<std::string, Outcome>> marks = {
      {"Time-out: ", Outcome::kTimeOut},
      {"Please check 0x", Outcome::kRefused},
      {"Not XQR Chip", Outcome::kRefused},
      {kDumpOpenFail, Outcome::kRefused},
      {"Verify Fail.", Outcome::kCheckFail},
      {"Test Fail.", Outcome::kCheckFail},
      {"Protect BBK Area Fail", Outcome::kCheckFail},
      {"Save Fail!", Outcome::kSaveFail},
  };
  return marks;
}

// What the run looks like to a user, for the printed table.
Outcome Classify(const Observed& cell, const Observed& healthy) {
  const std::string& console = cell.result.console;
  for (const auto& [mark, outcome] : FailureMarks()) {
    if (console.find(mark) == std::string::npos) continue;
    // A check that failed once in a run that passed: the retry passed.
    if (outcome == Outcome::kCheckFail && cell.result.status == 0) return Outcome::kRetried;
    return outcome;
  }
  if (console.find(kAckFail) != std::string::npos) return Outcome::kAckFail;
  if (cell.result.flash != healthy.result.flash) return Outcome::kDamage;
  return Outcome::kSame;
}

bool Failed(Outcome outcome) {
  return outcome == Outcome::kTimeOut || outcome == Outcome::kCheckFail ||
         outcome == Outcome::kSaveFail || outcome == Outcome::kRefused;
}

// An update resets the EC only once its work is done: never onto a flash it
// left incomplete, nor after a failure before its first erase.
std::string ExpectedLeave(const Operation& op, const Expect& expect) {
  if ((op.reach & kUpdate) && Failed(expect.outcome) && !expect.flash_as_healthy) return "ec fc";
  return op.leave;
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
    const std::string want = ExpectedLeave(op, expect);
    const long leave = Find(ec, want, static_cast<size_t>(entry));
    EXPECT_EQ(leave, static_cast<long>(ec.size()) - 1)
        << "the leave command " << want << " must end the EC traffic";
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
  if (op.reach & kCompare) {
    for (const std::string& line : r.TraceLines("spi ")) {
      const std::string opcode = line.substr(4, 2);
      EXPECT_TRUE(opcode == "9f" || opcode == "ab" || opcode == "05" || opcode == "04" ||
                  opcode == "0b")
          << "a compare sent " << line;
    }
  }
}

bool Programmed(const SimResult& r) {
  return !r.TraceLines("spi 02 ").empty() || !r.TraceLines("spi ad ").empty() ||
         !r.TraceLines("spi af ").empty();
}

// What to do now, after a failure: when no erase, program or (for the
// protection) status write went out, only that the flash did not change,
// and the flash file must agree; otherwise what is incomplete and how to
// recover.
bool Wrote(const Operation& op, const SimResult& r, bool held) {
  if (!r.EraseLines().empty() || Programmed(r)) return true;
  // The protection's status write counts once it took, or when the EC was
  // kept with it half done; its contents stay.
  const bool status_written = (op.reach & kProtect) != 0 && !r.TraceLines("spi 01").empty();
  return status_written && (held || r.console.find("Protect BBK Area Done!") != std::string::npos);
}

// A status write went out over a protection the part held, or /PB's: the
// advice says the contents stayed and the status did not.
std::string StatusAdvice(const Operation& op, const SimResult& r, const char* chip) {
  if (r.TraceLines("spi 01").empty()) return "";
  if (op.reach & kProtect)
    return "The flash contents were not changed, but its status register was written to.\n\r";
  const FlashProfile& profile = chip != nullptr ? *FindFlashProfile(chip) : *DefaultFlashProfile();
  const ProtectedRange held =
      ProtectedRangeOf(profile, profile.status->power_up1, profile.status->power_up2);
  if (held.first == held.end) return "";
  return "The flash contents were not changed, but its write protection was cleared.\n\r";
}

// The EC may still be in flash mode: the board says so, or it stopped taking
// bytes once the program had begun to enter flash mode, so the program
// cannot know.
bool EcHeld(const Operation& op, const Expect& expect, const SimResult& r) {
  return r.ec_in_flash_mode || ((op.reach & kFlashMode) != 0 && !expect.ec_takes_bytes);
}

void CheckAdvice(const Operation& op, const Expect& expect, const SimResult& r, const char* chip,
                 const std::string& advice) {
  const bool held = EcHeld(op, expect, r);
  const bool wrote = Wrote(op, r, held);
  if (!wrote && !held) {
    const std::string status = StatusAdvice(op, r, chip);
    EXPECT_EQ(advice, status.empty() ? "The flash was not changed. It is safe to power off.\n\r"
                                     : status + "It is safe to power off.\n\r");
    EXPECT_EQ(StrayWrite(r.flash, Range{}), -1) << "the flash changed";
    return;
  }
  EXPECT_EQ(Lower(advice).find("safe to power off"), std::string::npos) << advice;
  EXPECT_NE(Lower(advice).find("do not power off"), std::string::npos) << advice;
  EXPECT_NE(Lower(advice).find("run the same command again"), std::string::npos) << advice;
  EXPECT_NE(advice.find("If it fails again, keep the power on and get the board to service"),
            std::string::npos)
      << advice;
  if (held) {
    EXPECT_NE(Lower(advice).find("the ec may still be in flash mode."), std::string::npos)
        << advice;
  }
  if (!wrote) {
    EXPECT_NE(advice.find("Nothing was written to the flash"), std::string::npos) << advice;
    EXPECT_EQ(StrayWrite(r.flash, Range{}), -1) << "the flash changed";
    return;
  }
  if (op.reach & kPattern) {
    EXPECT_NE(advice.find("Then flash the EC image"), std::string::npos) << advice;
  }
  // The fault struck only after the flash work was complete and checked: the
  // flash is sound, except that the write test's pattern replaced firmware.
  if (expect.flash_as_healthy && (op.reach & kPattern) == 0) {
    EXPECT_NE(advice.find((op.reach & kUpdate) ? "Every block was written and verified: the EC "
                                                 "flash holds the whole image."
                                               : "The protection was written and read back."),
              std::string::npos)
        << advice;
    return;
  }
  std::string state;
  if (op.reach & kUpdate) {
    char text[64];
    std::snprintf(text, sizeof text, "Block 0 (flash address 0x%06x) is incomplete.", ImageAt(op));
    state = text;
  } else if (op.reach & kPattern) {
    state = expect.flash_as_healthy
                ? "The write test's sector at 0x000000 holds the test pattern, not firmware."
                : "The write test's sector at 0x000000 is incomplete.";
  } else {
    state = "The status-register write of the protection is incomplete.";
  }
  EXPECT_NE(advice.find(state), std::string::npos) << advice;
}

void CheckCell(const Operation& op, const Fault& fault, const Expect& expect, const Observed& cell,
               const Observed& healthy) {
  const SimResult& r = cell.result;
  const SimResult& h = healthy.result;
  const oracle::Part chip = ChipNamed(fault.chip);
  CheckFrame(op, fault, expect, cell, healthy);
  EXPECT_STREQ(Code(Classify(cell, healthy)), Code(expect.outcome));
  const Range range = WriteRange(op, chip);
  const long stray = StrayWrite(r.flash, range);
  EXPECT_EQ(stray, -1) << "flash 0x" << Hex(static_cast<unsigned>(stray))
                       << " changed, outside the range [0x" << Hex(range.begin) << ", 0x"
                       << Hex(range.end) << ") the operation may write";
  // An update's failed check is the last of the block's three attempts.
  const size_t attempts =
      expect.outcome == Outcome::kCheckFail && (op.reach & kUpdate) != 0 ? 3 : 1;
  const size_t retries = expect.outcome == Outcome::kRetried ? 1 : attempts - 1;
  EXPECT_EQ(Count(r.console, "retry"), retries);
  if (expect.status_register >= 0) {
    EXPECT_EQ(r.flash_status, expect.status_register) << "the chip's status register";
  }
  if (!expect.status_file.empty()) {
    EXPECT_EQ(cell.status_file, expect.status_file) << "the chip's kept status bits";
  }

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
      EXPECT_EQ(WithoutTime(r.console), WithoutTime(Edit(want_console, console_edits)));
      const bool slow = fault.extra_ns != 0;
      EXPECT_EQ(HostTraffic(r.trace, {}, slow), HostTraffic(h.trace, expect.trace_edits, slow));
      EXPECT_TRUE(r.flash == h.flash) << "flash contents differ from the healthy run";
      EXPECT_TRUE(cell.dump == healthy.dump) << "dump file differs from the healthy run";
      break;
    }
    case Outcome::kRetried: {
      EXPECT_EQ(r.status, 0);
      ExpectFlash(r.flash, HealthyFlash(op, chip), "after the retry");
      EXPECT_EQ(Count(r.console, expect.message), 1u) << "the failed check: " << expect.message;
      EXPECT_NE(r.console.find("attempt 2"), std::string::npos);
      EXPECT_EQ(r.console.find("What to do now:"), std::string::npos);
      EXPECT_EQ(r.console.find("Time-out: "), std::string::npos);
      // The block's erases once more; the fault and the image lie in one
      // 64 KB block. /U does again only the unit that failed.
      EXPECT_EQ(r.EraseLines().size(),
                h.EraseLines().size() + (ChangedOnly(op) ? 1 : h.EraseLines().size()));
      EXPECT_EQ(r.TraceLines("ec dc").size(), 1u);
      break;
    }
    case Outcome::kDamage:  // no row expects damage; the outcome check reports it
      break;
    case Outcome::kTimeOut:
    case Outcome::kCheckFail:
    case Outcome::kSaveFail:
    case Outcome::kRefused: {
      // Whether the board may be powered off, from the trace and the board.
      const bool held = EcHeld(op, expect, r);
      EXPECT_EQ(r.status, Wrote(op, r, held) || held ? 2 : 1);
      // What to do follows every failure but a refusal.
      const std::string heading = "\n\rWhat to do now:\n\r";
      const size_t advice = r.console.find(heading);
      EXPECT_EQ(advice != std::string::npos, expect.outcome != Outcome::kRefused) << r.console;
      if (advice != std::string::npos)
        CheckAdvice(op, expect, r, fault.chip, r.console.substr(advice + heading.size()));
      const std::string body = r.console.substr(0, advice);
      EXPECT_TRUE(body.ends_with(expect.message))
          << "the run must end with its one message: " << expect.message;
      EXPECT_EQ(Count(r.console, expect.message), attempts);
      size_t failures = 0;
      for (const auto& mark : FailureMarks()) failures += Count(r.console, mark.first);
      EXPECT_EQ(failures, attempts) << "exactly one failure message";
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
  return text + std::string(text.size() < 28 ? 28 - text.size() : 1, ' ');
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
      std::string header = Label("fault \\ operation");
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
          "T/O: a wait gave up;\nVFY: an erase check, verify or read-back failed; RTY: a block "
          "passed on its retry; SAVE: the dump could not be written;\nREF: refused at start; DMG: "
          "ran as the healthy run but left a wrong byte in the flash.\nThe number is the exit "
          "status; -: not run.\n";
      std::printf("%s%s", outcomes.c_str(), times.c_str());
    }
    results_.clear();
    healthy_.clear();
  }

 protected:
  // The healthy run of an operation on a chip, made when a cell first needs
  // it and checked then.
  static const Observed& Reference(const char* chip, const Operation& op) {
    const std::string key = std::string(ChipNamed(chip).name) + "|" + op.name;
    auto found = healthy_.find(key);
    if (found != healthy_.end()) return found->second;
    watchdog_->Arm("healthy x " + key);
    std::vector<std::string> board;
    if (chip != nullptr) board = {"--chip", chip};
    const Observed& observed = healthy_[key] = RunCell(op, ChipNamed(chip), board, nullptr);
    const SimResult& h = observed.result;
    // The reference runs themselves must be sound.
    // The SST part comes up protected: its write test fails, and says so;
    // its erase went out, so the sector counts as changed.
    const bool protected_test =
        (op.reach & kPattern) && chip != nullptr && std::string(chip) == kSstChip;
    // /PB refuses a part where no known bit protects the boot block alone.
    const bool refused_protect =
        (op.reach & kProtect) && simtest::FindChipFacts(ChipNamed(chip).name)->protect.status == 0;
    EXPECT_EQ(h.status, protected_test ? 2 : refused_protect ? 1 : 0) << key << "\n" << h.console;
    EXPECT_EQ(h.console.find("Time-out"), std::string::npos) << key;
    if (op.leave != nullptr) {
      EXPECT_EQ(h.TraceLines("ec ").back(), op.leave) << key;
    }
    // The image exactly in its range, the pattern everywhere else.
    ExpectFlash(h.flash, HealthyFlash(op, ChipNamed(chip)), key);
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
  watchdog_->Arm(fault.name + " x " + op.name);
  std::vector<std::string> board = fault.board(op);
  if (fault.chip != nullptr) board.insert(board.begin(), {"--chip", fault.chip});
  const Observed cell = RunCell(op, ChipNamed(fault.chip), board, fault.prepare);
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
