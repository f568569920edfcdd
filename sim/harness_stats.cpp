// --stats: the run's counters, one line each on the harness's error stream.
#include "sim/harness_state.h"
#include "sim/sim_text.h"

void PrintStats() {
  const Harness& h = g_harness;
  struct Row {
    const char* name;
    uint64_t value;
  };
  const Row rows[] = {
      {"port reads", h.counters.port_reads},
      {"port writes", h.counters.port_writes},
      {"spi transactions", h.counters.spi_transactions},
      {"spi bytes written", h.counters.spi_bytes_written},
      {"spi bytes read", h.counters.spi_bytes_read},
      {"stall us", h.counters.stall_us},
      {"simulated ns", h.clock.now_ns},
      {"ec flash-mode entries", h.board.Ec().FlashModeEntries()},
      {"ec resets", h.board.Ec().Resets()},
  };
  for (const Row& row : rows) {
    TraceText line;
    line.Add("tolvi-sim stats: ").Add(row.name).Add(" ").Dec(row.value).Char('\n');
    HarnessErr(line.Text());
  }
}
