// A board on the test's bench: the model wired to a recording trace, driven
// by the host-side handshakes a program would use. The waits are bounded so
// that a broken model fails a test instead of hanging it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/board.h"
#include "sim/harness_options.h"

namespace simtest {

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

class BoardHost {
 public:
  static constexpr int kPollLimit = 10000;

  explicit BoardHost(const BoardConfig& config = DefaultBoardConfig(), bool port_trace = false) {
    trace_sink_ = TraceSink{&trace, Record};
    port_sink_ = TraceSink{&ports, Record};
    board.Init(config, &spi, &clock, &counters, &trace_sink_, port_trace ? &port_sink_ : nullptr);
  }

  BoardHost(const BoardHost&) = delete;
  BoardHost& operator=(const BoardHost&) = delete;

  uint8_t In(uint16_t port) { return board.In(port); }
  void Out(uint16_t port, uint8_t value) { board.Out(port, value); }

  // Polls port until (value & mask) == want; returns the number of reads, or
  // -1 when it never happened.
  int WaitFor(uint16_t port, uint8_t mask, uint8_t want) {
    for (int reads = 1; reads <= kPollLimit; ++reads) {
      if ((board.In(port) & mask) == want) return reads;
    }
    return -1;
  }
  bool EcIbfClear() { return WaitFor(0x66, 0x02, 0x00) > 0; }
  bool EcCommand(uint8_t command) {
    if (!EcIbfClear()) return false;
    board.Out(0x66, command);
    return EcIbfClear();
  }
  bool EcData(uint8_t data) {
    board.Out(0x62, data);
    return EcIbfClear();
  }
  // -1 when OBF never came.
  int EcRead() {
    if (WaitFor(0x66, 0x01, 0x01) < 0) return -1;
    return board.In(0x62);
  }
  int EcReadRam(uint8_t address) {
    if (!EcCommand(0x80) || !EcData(address)) return -1;
    return EcRead();
  }
  bool Follow(uint8_t sub_command, int operand = -1) {
    if (!EcCommand(sub_command)) return false;
    return operand < 0 || EcCommand(static_cast<uint8_t>(operand));
  }

  SimClock clock{};
  SimCounters counters{};
  RecordingSpi spi;
  Board board;
  std::vector<std::string> trace;
  std::vector<std::string> ports;

 private:
  static void Record(void* context, const char* text) {
    static_cast<std::vector<std::string>*>(context)->emplace_back(text);
  }
  TraceSink trace_sink_{};
  TraceSink port_sink_{};
};

}  // namespace simtest
