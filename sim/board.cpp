#include "sim/board.h"

#include "sim/sim_text.h"

BoardConfig DefaultBoardConfig() {
  BoardConfig config;
  __builtin_memset(&config, 0, sizeof(config));
  config.kbc.ibf_latency = 1;
  config.ec.ack = 0x33;
  config.ec.ibf_latency = 1;
  config.sio.index_port = 0x2E;
  config.sio.chip_id = 0x5512;
  config.sio.bram_base = SioModel::kDefaultBramBase;
  config.sio.bram_high = 0x02;  // with the low byte: version "02A"
  config.sio.bram_low = 0x41;
  config.bus_ns = Board::kDefaultBusNs;
  return config;
}

void Board::Init(const BoardConfig& config, SpiDevice* spi, SimClock* clock, SimCounters* counters,
                 const TraceSink* trace, const TraceSink* port_trace) {
  kbc_.Init(config.kbc, trace);
  ec_.Init(config.ec, spi, trace);
  sio_.Init(config.sio, trace);
  clock_ = clock;
  counters_ = counters;
  port_trace_ = port_trace;
  bus_ns_ = config.bus_ns;
  no_ec_ = config.no_ec;
}

void Board::TracePort(const char* direction, uint16_t port, uint8_t value) {
  TraceText line;
  line.Add(direction).Hex(port).Char(' ').Hex(value);
  line.EmitTo(port_trace_);
}
