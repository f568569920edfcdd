// The flash geometry the engine works in.
#pragma once

#include <stdint.h>

namespace geometry {

constexpr uint32_t kBlock = 0x10000;  // the update's unit: one block per pass
constexpr uint32_t kBlockShift = 16;
constexpr uint32_t kSector4K = 0x1000;
constexpr uint32_t kSector1K = 0x400;  // the maker's own flash
constexpr uint32_t kPage = 0x100;      // one page-program command
constexpr uint32_t kPagesPerBlock = kBlock / kPage;
constexpr uint32_t kChunk = 0x20;  // one program command on the small-page part

// The boot block is the first 4 KB sector of block 0; the main and backup
// code areas are the 60 KB after the first sector of blocks 0 and 1. In
// main-area mode the image starts kMainAreaOffset into the flash, so from
// block 1 on the image runs that far behind it.
constexpr uint32_t kBootBlockSize = kSector4K;
constexpr uint32_t kCodeAreaSize = kBlock - kSector4K;
constexpr uint32_t kMainAreaOffset = kSector4K;
constexpr uint32_t kBackupAreaOffset = kBlock + kSector4K;

}  // namespace geometry
