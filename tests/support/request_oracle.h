// Where an update request may write and whether it must be refused, worked
// out from the request alone (chip facts, image size, path, offset), so the
// flash file can judge a run without the program's own block plan. Shared by
// the geometry property test and the image fuzzer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/chip_facts.h"

namespace oracle {

constexpr int64_t kBlock = 0x10000;
constexpr int64_t kSector = 0x1000;
constexpr int64_t kCodeArea = 0xF000;  // a block less its boot sector
constexpr int64_t kAddressSpace = 0x1000000;

struct Part {
  const char* name;
  int64_t size;
  int64_t capacity;    // what the program can tell from the ID; 0 when nothing
  int64_t whole_unit;  // what one erase command of the whole-block path clears
  bool only_64k;       // no erase smaller than 64 KB
};

// The part's geometry from its row of chip facts.
inline Part PartOf(const char* name) {
  const simtest::ChipFacts* chip = simtest::FindChipFacts(name);
  if (chip == nullptr) return {name, 0, 0, 0, false};
  const int64_t size = int64_t{chip->size_kb} * 1024;
  return {name, size, chip->size_from_id ? size : 0, chip->block_erase.size,
          chip->sector_erase.size >= kBlock};
}

enum class Path { kWhole, kBoot, kMain, kBackup };
constexpr const char* kPathOption[] = {nullptr, "/BK", "/Mn", "/Bp"};

struct Request {
  const Part* part;
  int64_t size;
  Path path;
  int64_t offset;
  bool size_matches = true;  // the size parameter is 0 or the image's size in KB
};

enum class Outcome { kRefusedBeforePorts, kRefusedAfterId, kWritten, kUnjudged };

inline int64_t RoundUp(int64_t value, int64_t unit) { return (value + unit - 1) / unit * unit; }

// What the request erases, [begin, end), and where the image lands.
struct Footprint {
  int64_t begin;
  int64_t end;
  int64_t image_at;
};

inline Footprint FootprintOf(const Request& q) {
  const int64_t o = q.offset;
  switch (q.path) {
    case Path::kWhole:
      return {o, RoundUp(o + q.size, q.part->whole_unit), o};
    case Path::kBoot:
      return {o, o + kSector, o};
    case Path::kMain:
      return {o + kSector, std::max(o + kBlock, RoundUp(o + kSector + q.size, kSector)),
              o + kSector};
    case Path::kBackup:
      return {o + kBlock + kSector, o + 2 * kBlock, o + kBlock + kSector};
  }
  return {};
}

inline Outcome Expect(const Request& q) {
  if (!q.size_matches) return Outcome::kRefusedBeforePorts;
  const int64_t blocks = (q.size + kBlock - 1) / kBlock;
  if (q.path == Path::kBoot && q.size > kSector) return Outcome::kRefusedBeforePorts;
  if (q.path == Path::kMain && q.size > kCodeArea && (q.size - kCodeArea) % kBlock != 0) {
    return Outcome::kRefusedBeforePorts;
  }
  if (q.path == Path::kBackup && q.size > kCodeArea) return Outcome::kRefusedBeforePorts;
  if (q.offset < 0) return Outcome::kRefusedBeforePorts;
  if (q.offset != 0 && blocks > 1) return Outcome::kRefusedBeforePorts;
  const int64_t reach = q.path == Path::kWhole  ? q.size
                        : q.path == Path::kBoot ? kSector
                        : q.path == Path::kMain ? kBlock
                                                : 2 * kBlock;
  if (q.offset + reach > kAddressSpace) return Outcome::kRefusedBeforePorts;
  // Nothing to write: whatever the path, the flash stays as it was.
  if (q.size == 0) return Outcome::kUnjudged;
  if (q.path != Path::kWhole && q.part->only_64k) return Outcome::kRefusedAfterId;
  const int64_t unit = q.path == Path::kWhole ? q.part->whole_unit : kSector;
  if (q.offset % unit != 0) return Outcome::kRefusedAfterId;
  const Footprint f = FootprintOf(q);
  if (q.part->capacity != 0 && f.end > q.part->capacity) return Outcome::kRefusedAfterId;
  // A chip of unknown size wraps; only a multi-block wrap is caught, and then
  // after the flash has changed.
  if (f.end > q.part->size) return Outcome::kUnjudged;
  return Outcome::kWritten;
}

// An /O value as a user types it: hex, a minus sign for a negative one.
inline std::string OffsetText(int64_t offset) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%llX", offset < 0 ? "-" : "",
                static_cast<unsigned long long>(offset < 0 ? -offset : offset));
  return text;
}

}  // namespace oracle
