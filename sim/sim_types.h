// Shared pieces of the board model: the virtual clock, the observers and the
// interface through which the EC's follow mode drives an SPI flash chip.
// Freestanding: no heap, no exceptions, no RTTI (the harness is built for UEFI
// too), so no virtual destructors and no operator new.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Simulated time. Port accesses cost bus time, Stall advances it, flash
// operations stay busy for their datasheet time measured on it.
struct SimClock {
  uint64_t now_ns;
};

// Receives one finished line (no line end) of a trace.
struct TraceSink {
  void* context;
  void (*line)(void* context, const char* text);
};

struct SimCounters {
  uint64_t port_reads;
  uint64_t port_writes;
  uint64_t spi_transactions;
  uint64_t spi_bytes_written;  // bytes shifted to the flash, opcodes included
  uint64_t spi_bytes_read;     // bytes shifted in from the flash
  uint64_t stall_us;
};

// An SPI slave as the EC's follow mode sees it: chip select and single bytes.
// Deselect ends an instruction; that is when erase/program/status writes start.
class SpiDevice {
 public:
  virtual void Select() = 0;
  virtual void Deselect() = 0;
  virtual void Write(uint8_t byte) = 0;
  virtual uint8_t Read() = 0;

 protected:
  ~SpiDevice() = default;
};
