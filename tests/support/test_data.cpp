#include "support/test_data.h"

#include <random>

namespace simtest {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::vector<std::uint8_t> bytes(size);
  for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(generator());
  return bytes;
}

std::vector<std::uint8_t> TestImage(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> out(size);
  std::uint32_t x = seed * 2654435761u + 12345;
  for (std::size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345;
    out[i] = static_cast<std::uint8_t>((x >> 16) % 255);
  }
  return out;
}

std::string Marks(std::size_t count) {
  std::string marks;
  for (std::size_t i = 0; i < count; ++i) marks += "\xE2\x96\x88";
  return marks;
}

}  // namespace simtest
