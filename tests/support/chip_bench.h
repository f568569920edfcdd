// A flash chip of the model on the bench, driven the way the EC's follow
// mode drives it: whole SPI transactions at its pins, on the rig's clock.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sim/flash/flash_profile.h"
#include "support/board_rig.h"

namespace simtest {

// The one board rig, driven at the chip's pins; a part named by its profile,
// its contents filled up with 0xFF.
class ChipRig : public BoardRig {
 public:
  explicit ChipRig(const char* name = "w25q80", std::vector<uint8_t> contents = {})
      : BoardRig(name, DefaultBoardConfig(), std::move(contents), kTrace) {
    EXPECT_TRUE(Valid()) << name;
  }

  // One whole transaction: opcode, bytes written, then `reads` bytes read.
  std::vector<uint8_t> Tx(uint8_t opcode, const std::vector<uint8_t>& out = {}, size_t reads = 0) {
    chip.Select();
    chip.Write(opcode);
    for (uint8_t byte : out) chip.Write(byte);
    std::vector<uint8_t> in;
    for (size_t i = 0; i < reads; ++i) in.push_back(chip.Read());
    chip.Deselect();
    return in;
  }
  uint8_t Status() { return Tx(0x05, {}, 1)[0]; }
  // Polls the status register in one transaction, 1 us per poll, as the
  // program's wait does; returns the polls it took.
  uint64_t WaitReady(uint64_t limit = 100000000) {
    chip.Select();
    chip.Write(0x05);
    uint64_t polls = 0;
    while ((chip.Read() & 1) != 0 && polls < limit) {
      clock.now_ns += 1000;
      ++polls;
    }
    chip.Deselect();
    return polls;
  }
  void WriteEnable() { Tx(0x06); }
  // Clears the status register the way the program's status clear does.
  void Unprotect() {
    WriteEnable();
    if (chip.Profile()->status->arm == StatusArm::kSstEwsr) Tx(0x50);
    Tx(0x01, {0x00});
    WaitReady();
  }
  // A status write under the latch, waited out; returns the polls it took.
  uint64_t WriteStatus(const std::vector<uint8_t>& bytes) {
    WriteEnable();
    Tx(0x01, bytes);
    return WaitReady();
  }
  void Erase(uint8_t opcode, uint32_t address) {
    WriteEnable();
    Tx(opcode, Address(address));
    WaitReady();
  }
  void Program(uint32_t address, const std::vector<uint8_t>& data) {
    WriteEnable();
    std::vector<uint8_t> out = Address(address);
    out.insert(out.end(), data.begin(), data.end());
    Tx(0x02, out);
    WaitReady();
  }
  static std::vector<uint8_t> Address(uint32_t address) {
    return {static_cast<uint8_t>(address >> 16), static_cast<uint8_t>(address >> 8),
            static_cast<uint8_t>(address)};
  }
  bool AllFF(uint32_t first, uint32_t end) const {
    for (uint32_t i = first; i < end; ++i) {
      if (flash[i] != 0xFF) return false;
    }
    return true;
  }
};

}  // namespace simtest
