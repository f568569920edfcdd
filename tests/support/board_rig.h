// The board model on a bench, wired once for tests, fuzzers and benches: a
// flash chip of the model's table with its contents (or, for tests of the
// EC's follow mode itself, a device that records what reached the SPI bus),
// the board around it, one clock and one set of counters, and the
// transaction and port traces when asked for. Attach() puts it behind the
// program's port provider.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/provider.h"
#include "sim/board.h"
#include "sim/flash/flash_chip.h"
#include "sim/harness_options.h"
#include "sim/sim_ports.h"

namespace simtest {

// The board with the given bus time and no controller latency, for runs
// where only the protocol counts.
inline BoardConfig QuickBoard(uint64_t bus_ns = 0) {
  BoardConfig config = DefaultBoardConfig();
  config.bus_ns = bus_ns;
  config.ec.ibf_latency = 0;
  config.kbc.ibf_latency = 0;
  return config;
}

// The default board with `edit` applied, for a rig built in one line:
// BoardHost host(Configured([](BoardConfig& c) { c.ec.no_obf = true; })).
template <typename Edit>
BoardConfig Configured(Edit edit) {
  BoardConfig config = DefaultBoardConfig();
  edit(config);
  return config;
}

// What a rig records, as bits.
enum RigTraces : unsigned { kNoTrace = 0, kTrace = 1, kPortTrace = 2 };

// An SPI device that records what the EC's follow mode did to it:
// "S" select, "D" deselect, "W xx" a byte shifted out, "R" a byte clocked in
// (answered from `answers`, then 0x00).
class RecordingSpi final : public SpiDevice {
 public:
  RecordingSpi() { SetOperations(&kOperationsOf<RecordingSpi>); }
  void Select() { events.push_back("S"); }
  void Deselect() { events.push_back("D"); }
  void Write(uint8_t byte) {
    static const char kHex[] = "0123456789abcdef";
    events.push_back(std::string("W ") + kHex[byte >> 4] + kHex[byte & 15]);
  }
  uint8_t Read() {
    events.push_back("R");
    return next < answers.size() ? answers[next++] : 0x00;
  }

  std::vector<std::string> events;
  std::vector<uint8_t> answers;
  size_t next = 0;
};

// Wires the recording device where the flash chip would be.
struct WithRecordingSpi {};

class BoardRig {
 public:
  // chip_name: a profile name, null for the model's default chip; an unknown name
  // leaves Valid() false and the board unwired. contents: the flash before
  // the run, filled up with 0xFF.
  explicit BoardRig(const char* chip_name = nullptr,
                    const BoardConfig& config = DefaultBoardConfig(),
                    std::vector<uint8_t> contents = {}, unsigned traces = kNoTrace)
      : profile_(chip_name != nullptr ? FindFlashProfile(chip_name) : DefaultFlashProfile()),
        flash(std::move(contents)) {
    if (profile_ == nullptr) return;
    flash.resize(FlashProfileSize(profile_), 0xFF);
    const TraceSink* sink = (traces & kTrace) != 0 ? &trace_sink_ : nullptr;
    chip.Init(profile_, flash.data(), &clock, &counters, sink);
    Wire(config, &chip, traces);
  }
  BoardRig(WithRecordingSpi, const BoardConfig& config, unsigned traces) : profile_(nullptr) {
    Wire(config, &spi, traces);
  }
  ~BoardRig() { Detach(); }
  BoardRig(const BoardRig&) = delete;
  BoardRig& operator=(const BoardRig&) = delete;

  // A chip of the model's table is wired.
  bool Valid() const { return profile_ != nullptr; }

  // The program's ports reach this board and its console goes to `console`.
  void Attach(const ConsoleSink* console) {
    SimSetBoard(&board);
    PlatSetConsoleSink(console);
    attached_ = true;
  }
  void Detach() {
    if (!attached_) return;
    PlatSetConsoleSink(nullptr);
    SimSetBoard(nullptr);
    attached_ = false;
  }

 private:
  const FlashProfile* profile_;

 public:
  SimClock clock{};
  SimCounters counters{};
  std::vector<uint8_t> flash;
  FlashChip chip{};
  RecordingSpi spi;
  Board board{};
  std::vector<std::string> trace;
  std::vector<std::string> ports;

 private:
  void Wire(const BoardConfig& config, SpiDevice* device, unsigned traces) {
    board.Init(config, device, &clock, &counters, (traces & kTrace) != 0 ? &trace_sink_ : nullptr,
               (traces & kPortTrace) != 0 ? &port_sink_ : nullptr);
  }
  static void Record(void* context, const char* text) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
  }
  TraceSink trace_sink_{&trace, Record};
  TraceSink port_sink_{&ports, Record};
  bool attached_ = false;
};

// A console that swallows everything.
inline const ConsoleSink kQuietConsole = {};

}  // namespace simtest
