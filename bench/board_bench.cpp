// Throughput of the board model: single port accesses through the sim port
// provider, the EC's follow-mode round trip to the flash chip, and a whole
// 1 MB update run by tolvi-sim in-process. Tracing is off, as in a plain run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/harness.h"
#include "support/board_rig.h"

namespace {

// The model's default chip, its flash holding 0x5A, behind the port provider.
struct BenchBoard : simtest::BoardRig {
  explicit BenchBoard(uint64_t bus_ns) : BoardRig(nullptr, simtest::QuickBoard(bus_ns)) {
    std::fill(flash.begin(), flash.end(), 0x5A);
    Attach(&simtest::kQuietConsole);
  }
};

// The status poll every handshake is made of.
void BM_EcStatusIn(benchmark::State& state) {
  BenchBoard bench(1000);
  for (auto _ : state) benchmark::DoNotOptimize(IoRead8(0x66));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EcStatusIn);

// A port nothing decodes, the cheapest path through the bus.
void BM_UndecodedIn(benchmark::State& state) {
  BenchBoard bench(1000);
  for (auto _ : state) benchmark::DoNotOptimize(IoRead8(0x80));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UndecodedIn);

// Unknown EC commands: the write path and the EC's command decode.
void BM_EcCommandOut(benchmark::State& state) {
  BenchBoard bench(1000);
  for (auto _ : state) IoWrite8(0x66, 0x42);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EcCommandOut);

// One flash byte read through the follow mode, as the program's verify loop
// does it: sub-command 0x04, IBF poll, OBF poll, data read.
void BM_FollowModeReadByte(benchmark::State& state) {
  BenchBoard bench(0);
  auto command = [](uint8_t byte) {
    while (IoRead8(0x66) & 0x02) {
    }
    IoWrite8(0x66, byte);
  };
  command(0xDC);
  while (!(IoRead8(0x66) & 0x01)) {
  }
  IoRead8(0x62);
  command(0x01);
  command(0x02);
  command(0x0B);  // fast read from 0, one dummy byte
  for (int i = 0; i < 4; ++i) {
    command(0x03);
    command(0x00);
  }
  uint64_t accesses = bench.counters.port_reads + bench.counters.port_writes;
  for (auto _ : state) {
    command(0x04);
    while (IoRead8(0x66) & 0x02) {
    }
    while (!(IoRead8(0x66) & 0x01)) {
    }
    benchmark::DoNotOptimize(IoRead8(0x62));
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["port_accesses/s"] = benchmark::Counter(
      static_cast<double>(bench.counters.port_reads + bench.counters.port_writes - accesses),
      benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FollowModeReadByte);

// A whole 1 MB update (erase, erase check, program, verify of 16 blocks)
// through tolvi-sim in-process, console output discarded.
void BM_FlashUpdate1MB(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tolvi-bench-XXXXXX").string();
  std::vector<char> dir(pattern.begin(), pattern.end());
  dir.push_back('\0');
  if (mkdtemp(dir.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.data());
  {
    std::vector<char> image(1 << 20);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 131 + (i >> 12));
    std::ofstream("ec.bin", std::ios::binary).write(image.data(), image.size());
  }
  ConsoleSink discard{};
  discard.write_narrow = [](void*, const char*, size_t) {};
  discard.write_wide = [](void*, const char16_t*, size_t) {};
  SimCounters counters{};
  SimHooks hooks{};
  hooks.context = &counters;
  hooks.console = &discard;
  hooks.out = [](void*, const char*, size_t) {};
  hooks.err = [](void*, const char* text, size_t count) { std::fwrite(text, 1, count, stderr); };
  hooks.finished = [](void* context, const SimRunView* view) {
    *static_cast<SimCounters*>(context) = *view->counters;
  };
  SimSetHooks(&hooks);
  std::string args[] = {"tolvi-sim", "--bus-ns", "0", "--", "ec.bin", "1024"};
  char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(),
                  args[4].data(), args[5].data(), nullptr};
  for (auto _ : state) {
    std::filesystem::remove("tolvi-sim-flash.bin");
    if (SimMain(6, argv) != 0) state.SkipWithError("the update failed");
  }
  SimSetHooks(nullptr);
  state.counters["port_accesses"] = static_cast<double>(counters.port_reads + counters.port_writes);
  state.counters["port_accesses/s"] =
      benchmark::Counter(static_cast<double>(counters.port_reads + counters.port_writes) *
                             static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(dir.data());
}
BENCHMARK(BM_FlashUpdate1MB)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
