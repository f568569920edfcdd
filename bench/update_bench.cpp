// The update engine against the board model at the bus cost of a real board:
// host time of a whole update (erase, erase check, program, verify of every
// block), and the port accesses each image byte costs with each programming
// method; and the modelled time of /U and /D against the plain update, and of
// /b against the same operation without it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "app/exit_frame.h"
#include "flash/backup.h"
#include "support/board_rig.h"
#include "support/test_data.h"
#include "tolvi.h"

namespace {

struct UpdateBoard : simtest::BoardRig {
  UpdateBoard(const char* chip_name, uint64_t bus_ns)
      : UpdateBoard(chip_name, simtest::QuickBoard(bus_ns), {}) {}
  UpdateBoard(const char* chip_name, const BoardConfig& config, std::vector<uint8_t> contents)
      : BoardRig(chip_name, config, std::move(contents)) {
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

  int Update(void (*operation)() = &vUpdateFlash) {
    return iRunWithExitFrame(
        [](void* run) -> int {
          (*reinterpret_cast<void (**)()>(run))();
          return FlashState.UpdateFailed;
        },
        &operation);
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

// /U and /D against the plain update on the modelled board of a real machine
// (1 us per port access, an EC that keeps IBF set for one status read): the
// modelled time of each, and its ratio to the plain update of the same image
// on the same model. The flash starts equal to the image, with one 64 KB
// block changed, or with every byte changed. And the cost of /b.
enum class Before { kEqual, kOneBlock, kEvery };

std::vector<uint8_t> FlashBefore(const std::vector<uint8_t>& image, Before before) {
  std::vector<uint8_t> flash = image;
  const size_t block = image.size() > 0x10000 ? 5 : 0;
  for (size_t i = 0; i < flash.size(); ++i) {
    if (before == Before::kEvery || (before == Before::kOneBlock && i / 0x10000 == block))
      flash[i] ^= 0x5A;
  }
  return flash;
}

// Modelled nanoseconds of one run of `operation` on a fresh board, or 0 when
// it failed or left the flash other than the image (or, for /D, changed it).
// With `backup`, /b saves to a file that must then hold the flash before.
uint64_t ModelledNs(const char* chip_name, const std::vector<uint8_t>& flash_before,
                    std::vector<uint8_t>* image, void (*operation)(), bool backup = false) {
  UpdateBoard bench(chip_name, DefaultBoardConfig(), flash_before);
  if (!bench.Valid()) return 0;
  bench.Load(image);
  constexpr const char* kBackup = "tolvi-bench-backup.bin";
  if (backup) {
    FlashState.BackupPath = kBackup;
    FlashState.BackupFile = pf::OpenReplacement(kBackup);
    if (FlashState.BackupFile == nullptr) return 0;
  }
  const int failed = bench.Update(operation);
  if (backup) vReleaseBackup();
  if (failed != 0) return 0;
  const std::vector<uint8_t>& wanted = operation == &vCompareFlash ? flash_before : *image;
  if (!std::equal(wanted.begin(), wanted.end(), bench.flash.begin())) return 0;
  if (backup) {
    std::ifstream file(kBackup, std::ios::binary);
    const std::vector<uint8_t> saved{std::istreambuf_iterator<char>(file), {}};
    std::remove(kBackup);
    if (saved.size() != image->size() ||
        !std::equal(saved.begin(), saved.end(), flash_before.begin())) {
      return 0;
    }
  }
  return bench.clock.now_ns;
}

void RunChanged(benchmark::State& state, const char* chip_name, void (*operation)(),
                Before before) {
  std::vector<uint8_t> image = simtest::TestImage(static_cast<size_t>(state.range(0)) * 1024, 0);
  const uint64_t plain =
      ModelledNs(chip_name, FlashBefore(image, Before::kEvery), &image, &vUpdateFlash);
  uint64_t sim_ns = 0;
  for (auto _ : state) {
    sim_ns = ModelledNs(chip_name, FlashBefore(image, before), &image, operation);
  }
  if (plain == 0 || sim_ns == 0) {
    state.SkipWithError("a run failed or left the wrong flash");
    return;
  }
  state.counters["modelled_s"] = static_cast<double>(sim_ns) / 1e9;
  state.counters["update_s"] = static_cast<double>(plain) / 1e9;
  state.counters["ratio"] = static_cast<double>(sim_ns) / static_cast<double>(plain);
}

// /b against the same operation without it, the flash differing everywhere:
// the plain update pays one more read of what it erases, /U none (its read
// before the first erase is the one it makes anyway).
void RunBackup(benchmark::State& state, const char* chip_name, void (*operation)()) {
  std::vector<uint8_t> image = simtest::TestImage(static_cast<size_t>(state.range(0)) * 1024, 0);
  const std::vector<uint8_t> before = FlashBefore(image, Before::kEvery);
  const uint64_t without = ModelledNs(chip_name, before, &image, operation);
  uint64_t with = 0;
  for (auto _ : state) with = ModelledNs(chip_name, before, &image, operation, true);
  if (without == 0 || with == 0) {
    state.SkipWithError("a run failed, left the wrong flash or a wrong backup");
    return;
  }
  state.counters["modelled_s"] = static_cast<double>(with) / 1e9;
  state.counters["without_s"] = static_cast<double>(without) / 1e9;
  state.counters["ratio"] = static_cast<double>(with) / static_cast<double>(without);
}
BENCHMARK_CAPTURE(RunBackup, page_w25q80_update_b, "w25q80", &vUpdateFlash)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(RunBackup, page_w25q80_U_b, "w25q80", &vUpdateChangedFlash)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

#define TOLVI_CHANGED_BENCH(name, chip, kb)                                                        \
  BENCHMARK_CAPTURE(RunChanged, name##_U_equal, chip, &vUpdateChangedFlash, Before::kEqual)        \
      ->Arg(kb)                                                                                    \
      ->Iterations(1)                                                                              \
      ->Unit(benchmark::kMillisecond);                                                             \
  BENCHMARK_CAPTURE(RunChanged, name##_U_one_block, chip, &vUpdateChangedFlash, Before::kOneBlock) \
      ->Arg(kb)                                                                                    \
      ->Iterations(1)                                                                              \
      ->Unit(benchmark::kMillisecond);                                                             \
  BENCHMARK_CAPTURE(RunChanged, name##_U_every, chip, &vUpdateChangedFlash, Before::kEvery)        \
      ->Arg(kb)                                                                                    \
      ->Iterations(1)                                                                              \
      ->Unit(benchmark::kMillisecond);                                                             \
  BENCHMARK_CAPTURE(RunChanged, name##_D_equal, chip, &vCompareFlash, Before::kEqual)              \
      ->Arg(kb)                                                                                    \
      ->Iterations(1)                                                                              \
      ->Unit(benchmark::kMillisecond)

// Page program, AAI word, and the 32-byte part (64 KB: its one block is the
// whole image).
TOLVI_CHANGED_BENCH(page_w25q80, "w25q80", 1024);
TOLVI_CHANGED_BENCH(aai_word_sst25vf080b, "sst25vf080b", 1024);
TOLVI_CHANGED_BENCH(chunk_mx25l512, "mx25l512", 64);

}  // namespace
