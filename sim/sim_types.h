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
// The operations are a table the device names when it is set up, not virtual
// functions: a table pointer left null keeps a device in static storage all
// zeros, so the UEFI harness's state stays in .bss.
class SpiDevice {
 public:
  struct Operations {
    void (*select)(SpiDevice* device);
    void (*deselect)(SpiDevice* device);
    void (*write)(SpiDevice* device, uint8_t byte);
    uint8_t (*read)(SpiDevice* device);
  };

  void Select() { operations_->select(this); }
  void Deselect() { operations_->deselect(this); }
  void Write(uint8_t byte) { operations_->write(this, byte); }
  uint8_t Read() { return operations_->read(this); }

 protected:
  // The device's type T has Select, Deselect, Write and Read of its own.
  template <typename T>
  static constexpr Operations kOperationsOf = {
      [](SpiDevice* d) { static_cast<T*>(d)->Select(); },
      [](SpiDevice* d) { static_cast<T*>(d)->Deselect(); },
      [](SpiDevice* d, uint8_t byte) { static_cast<T*>(d)->Write(byte); },
      [](SpiDevice* d) -> uint8_t { return static_cast<T*>(d)->Read(); },
  };

  void SetOperations(const Operations* operations) { operations_ = operations; }
  ~SpiDevice() = default;

 private:
  const Operations* operations_ = nullptr;
};
