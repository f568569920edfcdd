// A board on the test's bench driven by the host-side handshakes a program
// would use. The waits are bounded so that a broken model fails a test
// instead of hanging it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/board_rig.h"

namespace simtest {

// A rig (by default the one with a recording SPI device) seen from the
// host's side of the ports: the handshakes a program would use, without the
// program.
class BoardHost : public BoardRig {
 public:
  static constexpr int kPollLimit = 10000;

  explicit BoardHost(const BoardConfig& config = DefaultBoardConfig(), bool port_trace = false)
      : BoardRig(WithRecordingSpi{}, config, kTrace | (port_trace ? kPortTrace : kNoTrace)) {}
  // A chip of the model's table instead, holding `contents`.
  BoardHost(const char* chip_name, std::vector<uint8_t> contents, unsigned traces)
      : BoardRig(chip_name, DefaultBoardConfig(), std::move(contents), traces) {}

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
  // 0xDC answered with the default board's acknowledgement.
  bool EnterFlashMode() { return EcCommand(0xDC) && EcRead() == 0x33; }
  int EcReadRam(uint8_t address) {
    if (!EcCommand(0x80) || !EcData(address)) return -1;
    return EcRead();
  }
  bool Follow(uint8_t sub_command, int operand = -1) {
    if (!EcCommand(sub_command)) return false;
    return operand < 0 || EcCommand(static_cast<uint8_t>(operand));
  }
};

}  // namespace simtest
