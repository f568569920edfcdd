#include "sim/board.h"

#include "sim/sim_text.h"
#include "tolvi_config.h"

void Board::Init(const BoardConfig& config, SpiDevice* spi, SimClock* clock, SimCounters* counters,
                 const TraceSink* trace, const TraceSink* port_trace) {
  kbc_.Init(config.kbc, trace);
  // The board's EC firmware goes with its chip: the mode-select chip's wants
  // a pre-enter command before flash mode.
  EcConfig ec = config.ec;
  if (config.sio.chip_id == TOLVI_MODE_SELECT_MODEL) ec.pre_enter_required = true;
  ec_.Init(ec, spi, trace);
  sio_.Init(config.sio, trace);
  clock_ = clock;
  counters_ = counters;
  port_trace_ = port_trace;
  bus_ns_ = config.bus_ns;
  no_ec_ = config.no_ec;
  fixed_port_count_ = config.fixed_port_count;
  for (size_t i = 0; i < fixed_port_count_; ++i) fixed_ports_[i] = config.fixed_ports[i];
}

void Board::TracePort(const char* direction, uint16_t port, uint8_t value) {
  TraceText line;
  line.Add(direction).Hex(port).Char(' ').Hex(value);
  line.EmitTo(port_trace_);
}
