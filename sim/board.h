// The modelled board as the host's port bus sees it: keyboard controller,
// EC host interface (with the flash chip behind its follow mode), super-I/O
// configuration ports and BRAM. Every port access costs bus time on the
// virtual clock; an undecoded port reads 0xFF.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "sim/ec_model.h"
#include "sim/kbc_model.h"
#include "sim/sim_ports.h"
#include "sim/sim_types.h"
#include "sim/sio_model.h"

// A port that answers every read with one byte and takes writes without
// effect, as a debug-console device on the port does on a real bus: the world
// that QEMU's isa-debugcon with a readback byte shows the real binaries.
struct FixedPort {
  uint16_t port;
  uint8_t answer;
};

struct BoardConfig {
  KbcConfig kbc;
  EcConfig ec;
  SioConfig sio;
  bool no_ec;       // nothing decodes 0x62/0x66
  uint64_t bus_ns;  // cost of one port access
  static constexpr size_t kMaxFixedPorts = 4;
  FixedPort fixed_ports[kMaxFixedPorts];  // they take the place of whatever decodes there
  size_t fixed_port_count;
};

class Board {
 public:
  // spi, trace and port_trace may be null. clock and counters must outlive
  // the board.
  void Init(const BoardConfig& config, SpiDevice* spi, SimClock* clock, SimCounters* counters,
            const TraceSink* trace, const TraceSink* port_trace);

  uint8_t In(uint16_t port) {
    clock_->now_ns += bus_ns_;
    ++counters_->port_reads;
    uint8_t value = Decode(port);
    if (port_trace_ != nullptr) TracePort("in ", port, value);
    return value;
  }

  void Out(uint16_t port, uint8_t value) {
    clock_->now_ns += bus_ns_;
    ++counters_->port_writes;
    if (port_trace_ != nullptr) TracePort("out ", port, value);
    Route(port, value);
  }

  void Stall(uint64_t microseconds) {
    clock_->now_ns += microseconds * 1000;
    counters_->stall_us += microseconds;
  }

  KbcModel& Kbc() { return kbc_; }
  EcModel& Ec() { return ec_; }
  SioModel& Sio() { return sio_; }
  const KbcModel& Kbc() const { return kbc_; }
  const EcModel& Ec() const { return ec_; }
  const SioModel& Sio() const { return sio_; }
  const SimClock& Clock() const { return *clock_; }
  const SimCounters& Counters() const { return *counters_; }
  bool EcDecoded() const { return !no_ec_; }

 private:
  const FixedPort* Fixed(uint16_t port) const {
    for (size_t i = 0; i < fixed_port_count_; ++i) {
      if (fixed_ports_[i].port == port) return &fixed_ports_[i];
    }
    return nullptr;
  }

  uint8_t Decode(uint16_t port) {
    if (const FixedPort* fixed = Fixed(port)) return fixed->answer;
    switch (port) {
      case KbcModel::kDataPort:
        return kbc_.ReadData();
      case KbcModel::kCommandPort:
        return kbc_.ReadStatus();
      case EcModel::kDataPort:
        return no_ec_ ? 0xFF : ec_.ReadData();
      case EcModel::kCommandPort:
        return no_ec_ ? 0xFF : ec_.ReadStatus();
      case 0x2E:
      case 0x2F:
      case 0x4E:
      case 0x4F:
        return sio_.ReadConfigPort(port);
      default:
        return sio_.DecodesBram(port) ? sio_.ReadBram(port) : 0xFF;
    }
  }

  void Route(uint16_t port, uint8_t value) {
    if (Fixed(port) != nullptr) return;
    switch (port) {
      case KbcModel::kDataPort:
        kbc_.WriteData(value);
        return;
      case KbcModel::kCommandPort:
        kbc_.WriteCommand(value);
        return;
      case EcModel::kDataPort:
        if (!no_ec_) ec_.WriteData(value);
        return;
      case EcModel::kCommandPort:
        if (!no_ec_) ec_.WriteCommand(value);
        return;
      case 0x2E:
      case 0x2F:
      case 0x4E:
      case 0x4F:
        sio_.WriteConfigPort(port, value);
        return;
      default:
        if (sio_.DecodesBram(port)) sio_.WriteBram(port, value);
        return;
    }
  }

  void TracePort(const char* direction, uint16_t port, uint8_t value);

  KbcModel kbc_;
  EcModel ec_;
  SioModel sio_;
  SimClock* clock_;
  SimCounters* counters_;
  const TraceSink* port_trace_;
  uint64_t bus_ns_;
  bool no_ec_;
  FixedPort fixed_ports_[BoardConfig::kMaxFixedPorts];
  size_t fixed_port_count_;
};
