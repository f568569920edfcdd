// The update engine against the board model at the bus cost of a real board:
// host time of a whole update (erase, erase check, program, verify of every
// block), and the port accesses each image byte costs with each programming
// method.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "app/exit_frame.h"
#include "support/board_rig.h"
#include "support/test_data.h"
#include "tolvi.h"

namespace {

struct UpdateBoard : simtest::BoardRig {
  UpdateBoard(const char* chip_name, uint64_t bus_ns)
      : BoardRig(chip_name, simtest::QuickBoard(bus_ns)) {
    if (Valid()) Attach(&simtest::kQuietConsole);
  }

  // The state the image load leaves before it calls the update.
  void Load(std::vector<uint8_t>* image) {
    __builtin_memset(&FlashState, 0, sizeof(FlashState));
    FlashState.ChipId = 0x5512;
    FlashState.ImageData = image->data();
    FlashState.ImageSize = static_cast<int64_t>(image->size());
    FlashState.ImageLoaded = FlashState.ImageSize;
    FlashState.PageCount = (image->size() + 1023) / 1024;
    FlashState.MaxBlockNum = (image->size() + 0xFFFF) / 0x10000;
  }

  int Update() {
    return iRunWithExitFrame(
        [](void*) -> int {
          vUpdateFlash();
          return FlashState.UpdateFailed;
        },
        nullptr);
  }
};

// Args: image size in KB, and the simulated cost of one port access in ns:
// 1000 ns, an LPC I/O cycle, so that the per-byte figure is the protocol's as
// a real board sees it (with no bus time every status poll takes the model's
// shortest poll, and the busy polls outweigh the protocol). The label names
// the chip, and so the programming method.
void RunUpdate(benchmark::State& state, const char* chip_name) {
  UpdateBoard bench(chip_name, static_cast<uint64_t>(state.range(1)));
  if (!bench.Valid()) {
    state.SkipWithError("unknown chip");
    return;
  }
  std::vector<uint8_t> image = simtest::TestImage(static_cast<size_t>(state.range(0)) * 1024, 0);
  uint64_t accesses = 0;
  uint64_t sim_ns = 0;
  for (auto _ : state) {
    bench.Load(&image);
    bench.counters = SimCounters{};
    bench.clock.now_ns = 0;
    if (bench.Update() != 0) {
      state.SkipWithError("the update failed");
      return;
    }
    accesses = bench.counters.port_reads + bench.counters.port_writes;
    sim_ns = bench.clock.now_ns;
  }
  for (size_t i = 0; i < image.size(); ++i) {
    if (bench.flash[i] != image[i]) {
      state.SkipWithError("flash differs from the image");
      return;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * image.size()));
  state.counters["port_accesses"] = static_cast<double>(accesses);
  state.counters["accesses_per_byte"] =
      static_cast<double>(accesses) / static_cast<double>(image.size());
  state.counters["simulated_ms"] = static_cast<double>(sim_ns) / 1e6;
}

// A 1 MB image, page program.
BENCHMARK_CAPTURE(RunUpdate, page_w25q80, "w25q80")
    ->Args({1024, 1000})
    ->Args({64, 1000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
// A 1 MB image, auto increment two bytes per command.
BENCHMARK_CAPTURE(RunUpdate, aai_word_sst25vf080b, "sst25vf080b")
    ->Args({1024, 1000})
    ->Args({64, 1000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
// 64 KB parts: 32-byte program commands, auto increment one byte per command.
BENCHMARK_CAPTURE(RunUpdate, chunk_mx25l512, "mx25l512")
    ->Args({64, 1000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);
BENCHMARK_CAPTURE(RunUpdate, aai_byte_sst25vf512a, "sst25vf512a")
    ->Args({64, 1000})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.5);

}  // namespace
