// The board model on a bench, wired once for tests, fuzzers and benches: a
// flash chip of the model's table with its contents, the board around it, one
// clock and one set of counters, and the transaction and port traces when
// asked for. Attach() puts it behind the program's port provider.
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

// What a rig records, as bits.
enum RigTraces : unsigned { kNoTrace = 0, kTrace = 1, kPortTrace = 2 };

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
    trace_sink_ = TraceSink{&trace, Record};
    port_sink_ = TraceSink{&ports, Record};
    const TraceSink* sink = (traces & kTrace) != 0 ? &trace_sink_ : nullptr;
    chip.Init(profile_, flash.data(), &clock, &counters, sink);
    board.Init(config, &chip, &clock, &counters, sink,
               (traces & kPortTrace) != 0 ? &port_sink_ : nullptr);
  }
  ~BoardRig() { Detach(); }
  BoardRig(const BoardRig&) = delete;
  BoardRig& operator=(const BoardRig&) = delete;

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
  Board board{};
  std::vector<std::string> trace;
  std::vector<std::string> ports;

 private:
  static void Record(void* context, const char* text) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
  }
  TraceSink trace_sink_{};
  TraceSink port_sink_{};
  bool attached_ = false;
};

// A console that swallows everything.
inline const ConsoleSink kQuietConsole = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace simtest
