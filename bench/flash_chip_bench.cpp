// Throughput of the flash chip model on the two streams that dominate an
// update: the verify's fast read and the page programming.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "support/board_rig.h"

namespace {

// The one board rig, driven at the chip's pins.
struct Bench : simtest::BoardRig {
  explicit Bench(unsigned traces = simtest::kNoTrace)
      : BoardRig(nullptr, DefaultBoardConfig(), {}, traces) {}
  void Command(uint8_t opcode, uint32_t address) {
    chip.Select();
    chip.Write(opcode);
    chip.Write(static_cast<uint8_t>(address >> 16));
    chip.Write(static_cast<uint8_t>(address >> 8));
    chip.Write(static_cast<uint8_t>(address));
  }
  void WriteEnable() {
    chip.Select();
    chip.Write(0x06);
    chip.Deselect();
  }
  void WaitReady() {
    chip.Select();
    chip.Write(0x05);
    while (chip.Read() & 1) clock.now_ns += 100000;
    chip.Deselect();
  }
};

// One 64 KB fast read, as the verify of a block does it.
void FastRead64K(benchmark::State& state, unsigned traces) {
  Bench bench(traces);
  uint64_t sum = 0;
  for (auto _ : state) {
    bench.Command(0x0B, 0x010000);
    bench.chip.Write(0x00);
    for (int i = 0; i < 0x10000; ++i) sum += bench.chip.Read();
    bench.chip.Deselect();
  }
  benchmark::DoNotOptimize(sum);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 0x10000);
}

void BM_FastRead64K(benchmark::State& state) { FastRead64K(state, simtest::kNoTrace); }
BENCHMARK(BM_FastRead64K);

// A 64 KB block programmed as 256 pages, each with its write enable and
// status poll; the block is erased again outside the timing.
void BM_PageProgram64K(benchmark::State& state) {
  Bench bench;
  for (auto _ : state) {
    for (uint32_t page = 0; page < 256; ++page) {
      bench.WriteEnable();
      bench.Command(0x02, page << 8);
      for (uint32_t i = 0; i < 256; ++i) bench.chip.Write(static_cast<uint8_t>(i ^ page));
      bench.chip.Deselect();
      bench.WaitReady();
    }
    state.PauseTiming();
    bench.WriteEnable();
    bench.Command(0xD8, 0);
    bench.chip.Deselect();
    bench.WaitReady();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 0x10000);
}
BENCHMARK(BM_PageProgram64K);

// The fast read again with a transaction trace recorded: the line is built
// once per transaction, so the cost should stay that of the bare read.
void BM_FastRead64KTraced(benchmark::State& state) { FastRead64K(state, simtest::kTrace); }
BENCHMARK(BM_FastRead64KTraced);

}  // namespace
