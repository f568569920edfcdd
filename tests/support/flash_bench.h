// A board on the bench for the flash engine's procedures: the modelled EC in
// flash mode with a modelled flash chip behind it, the console captured as
// UTF-8 and the transaction trace recorded. A procedure runs inside an exit
// frame, so a wait that gives up ends the call instead of the test.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/exit_frame.h"
#include "flash/block_plan.h"
#include "flash/flash_traits.h"
#include "platform/provider.h"
#include "sim/console_model.h"
#include "support/board_rig.h"
#include "support/chip_facts.h"
#include "tolvi.h"

namespace flashtest {

class FlashBench : public simtest::BoardRig {
 public:
  // chip: a profile name of the model; the flash starts erased.
  explicit FlashBench(const char* chip, uint32_t ec_latency = 0)
      : BoardRig(chip, Latency(ec_latency), {}, simtest::kTrace) {
    if (!Valid()) return;
    console_sink_ = ConsoleSink{this, Narrow, Wide, Ignore, Cursor, Attribute, nullptr};
    Attach(&console_sink_);
    __builtin_memset(&FlashState, 0, sizeof(FlashState));
    // Into flash mode, as every frame does before calling the engine.
    vSendEcCommand(0xDC);
    (void)ucReadEcData();
    Clear();
  }
  bool Fault(const char* kind) { return chip.ApplyFault(kind, nullptr); }

  // The image the procedures program and compare, as the image load leaves it.
  void SetImage(const std::vector<uint8_t>& bytes) {
    image = bytes;
    FlashState.ImageData = image.empty() ? nullptr : image.data();
    FlashState.ImageSize = static_cast<int64_t>(image.size());
    FlashState.ImageLoaded = static_cast<int64_t>(image.size());
    FlashState.PageCount = (image.size() + 1023) / 1024;
    FlashState.MaxBlockNum = (image.size() + 0xFFFF) / 0x10000;
  }

  void SetId(std::initializer_list<uint8_t> id) {
    size_t i = 0;
    for (uint8_t byte : id) FlashState.SPIDeviceID[i++] = byte;
    // As identification would: the engine reads the chip's traits row.
    vPickFlashTraits();
  }

  // The ID bytes identification keeps for this part, read in its form.
  void SetId(const simtest::ChipFacts& facts) {
    const std::array<uint8_t, 16> id = facts.Id();
    std::copy(id.begin(), id.end(), FlashState.SPIDeviceID);
    FlashState.SignatureId = facts.BySignature() ? 1 : 0;
    vPickFlashTraits();
  }

  void Clear() {
    trace.clear();
    console.clear();
  }

  // Runs the procedure; returns the exit status when a wait gave up, else -1.
  template <typename F>
  int Call(F body) {
    struct Ctx {
      F* f;
    } ctx{&body};
    return iRunWithExitFrame(
        [](void* c) -> int {
          (*static_cast<Ctx*>(c)->f)();
          return -1;
        },
        &ctx);
  }

  // Runs a procedure that takes its flash address as high, middle and low
  // bytes at `start`, with 0 as the low byte as the engine's callers pass it.
  // Returns what Call returns; a check's verdict goes to *passed.
  int CallAt(void (*procedure)(uint8_t, uint8_t, uint8_t), uint32_t start) {
    return Call([&] { procedure(High(start), Middle(start), 0); });
  }
  int CallAt(bool (*check)(uint8_t, uint8_t, uint8_t), uint32_t start, bool* passed) {
    return Call([&] { *passed = check(High(start), Middle(start), 0); });
  }

  // Trace lines that begin with prefix.
  std::vector<std::string> Lines(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& line : trace) {
      if (line.compare(0, prefix.size(), prefix) == 0) out.push_back(line);
    }
    return out;
  }
  // Trace lines other than the status polls of the ready and latch waits.
  std::vector<std::string> Work() const {
    std::vector<std::string> out;
    for (const std::string& line : trace) {
      if (line.compare(0, 6, "spi 05") == 0 || line == "spi 06" || line == "spi 04") continue;
      out.push_back(line);
    }
    return out;
  }

  // What every flash procedure leaves behind: no SPI transaction open and
  // the flash idle.
  bool Idle() const { return !board.Ec().SpiSelected() && !chip.Busy(); }
  uint8_t Status() const { return chip.StatusRegister(); }

  std::vector<uint8_t> image;
  std::string console;

 private:
  static BoardConfig Latency(uint32_t ec_latency) {
    BoardConfig config = simtest::QuickBoard();
    config.ec.ibf_latency = ec_latency;
    config.kbc.ibf_latency = ec_latency;
    return config;
  }
  static uint8_t High(uint32_t address) { return static_cast<uint8_t>(address >> 16); }
  static uint8_t Middle(uint32_t address) { return static_cast<uint8_t>(address >> 8); }
  static void Narrow(void* context, const char* text, size_t count) {
    static_cast<FlashBench*>(context)->console.append(text, count);
  }
  static void Wide(void* context, const char16_t* text, size_t count) {
    char bytes[3];
    for (size_t i = 0; i < count; ++i) {
      static_cast<FlashBench*>(context)->console.append(bytes, EncodeUtf8(text[i], bytes, 3));
    }
  }
  static void Ignore(void*) {}
  // Cursor moves show in the console text as "<column,row>".
  static void Cursor(void* context, unsigned column, unsigned row) {
    std::string& text = static_cast<FlashBench*>(context)->console;
    text += '<';
    text += std::to_string(column);
    text += ',';
    text += std::to_string(row);
    text += '>';
  }
  static void Attribute(void*, unsigned) {}

  ConsoleSink console_sink_{};
};

}  // namespace flashtest
