// The input buffer of a host-interface controller (keyboard controller or EC):
// a byte written by the host sits there with IBF set until the controller's
// firmware takes it. The model measures the firmware's delay in status reads,
// because that is the only clock the host can observe while it polls.
#pragma once

#include <stdint.h>

struct InputLatch {
  // Status reads during which IBF is still seen set after a write. 0 means
  // the controller takes the byte at once.
  uint32_t latency;
  // The write (counted from 1) from which the controller stops taking bytes,
  // so IBF never clears again; 0 for never (fault injection).
  uint64_t stuck_from;

  bool full;
  bool stuck;
  bool to_command_port;
  uint8_t byte;
  uint32_t reads_left;
  uint64_t writes;
  uint64_t overruns;  // bytes overwritten before the controller took them

  void Init(uint32_t read_latency, uint64_t stuck_from_write) {
    latency = read_latency;
    stuck_from = stuck_from_write;
    full = false;
    stuck = false;
    to_command_port = false;
    byte = 0;
    reads_left = 0;
    writes = 0;
    overruns = 0;
  }

  // Latches a host write. Returns true when the controller takes the byte
  // now (zero latency); the caller then processes it.
  bool Write(uint8_t value, bool command_port) {
    if (stuck) return false;
    ++writes;
    if (full) ++overruns;  // the host did not wait for IBF: the older byte is lost
    byte = value;
    to_command_port = command_port;
    if (stuck_from != 0 && writes >= stuck_from) {
      full = true;
      stuck = true;
      return false;
    }
    if (latency == 0) {
      full = false;
      return true;
    }
    full = true;
    reads_left = latency;
    return false;
  }

  // One status read. Returns true when the controller takes the byte just
  // before this read (the caller processes it; IBF then reads clear).
  bool StatusRead() {
    if (!full || stuck) return false;
    if (reads_left > 0) {
      --reads_left;
      return false;
    }
    full = false;
    return true;
  }
};
