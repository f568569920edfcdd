// SPI flash opcodes and status-register bits, as the tunnel's composite
// steps, the flash engine and the write test send and read them. (The board
// model keeps its own names in namespace spi: it is the flash's side.)
#pragma once

#include <stdint.h>

namespace flash_op {

constexpr uint8_t kReadJedecId = 0x9F;
constexpr uint8_t kReadSignature = 0xAB;  // older parts that answer 0x9F with 0x00
constexpr uint8_t kReadStatus = 0x05;
constexpr uint8_t kReadStatus2 = 0x35;  // second status register, where there is one
constexpr uint8_t kWriteEnable = 0x06;
constexpr uint8_t kWriteDisable = 0x04;
// SST parts: enables the next status-register write (EWSR). On Winbond parts
// 0x50 is the volatile status write enable; both accept the 0x01 after it.
constexpr uint8_t kEnableWriteStatus = 0x50;
constexpr uint8_t kWriteStatus = 0x01;
constexpr uint8_t kSectorErase4K = 0x20;
constexpr uint8_t kBlockErase64K = 0xD8;
constexpr uint8_t kSectorErase1K = 0xD7;  // 1 KB on the maker's own flash, 4 KB on PMC parts
constexpr uint8_t kFastRead = 0x0B;
constexpr uint8_t kAaiByteProgram = 0xAF;
constexpr uint8_t kAaiWordProgram = 0xAD;
constexpr uint8_t kPageProgram = 0x02;

constexpr uint8_t kStatusBusy = 0x01;
constexpr uint8_t kStatusWriteEnableLatch = 0x02;

}  // namespace flash_op
