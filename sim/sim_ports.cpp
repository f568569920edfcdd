// Port I/O and Stall of the tolvi-sim provider: forwarded to the modelled
// board. Stall advances the virtual clock instead of sleeping, so a run's
// timing is deterministic and a half-second stall costs nothing.
#include "sim/sim_ports.h"

#include "platform/platform.h"
#include "sim/board.h"

// Defined beside the port functions so that any user of the board pointer
// (the harness) links them in as well.
Board* g_sim_board = nullptr;

uint8_t IoRead8(uint16_t port) {
  Board* board = SimCurrentBoard();
  return board != nullptr ? board->In(port) : 0xFF;
}

void IoWrite8(uint16_t port, uint8_t value) {
  Board* board = SimCurrentBoard();
  if (board != nullptr) board->Out(port, value);
}

// The modelled board has no driver of its own on 0x60/0x64.
void ClaimKeyboardController() {}

namespace {
// Without a board, Stall still moves a clock, so a wait on the floating bus
// ends at its limit.
uint64_t g_unattached_us = 0;
}  // namespace

void Stall(uint64_t microseconds) {
  Board* board = SimCurrentBoard();
  if (board != nullptr) {
    board->Stall(microseconds);
  } else {
    g_unattached_us += microseconds;
  }
}

uint64_t MonotonicMicroseconds() {
  const Board* board = SimCurrentBoard();
  return board != nullptr ? board->Clock().now_ns / 1000 : g_unattached_us;
}
