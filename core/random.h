// The program's own pseudo-random generator: a 32-bit linear congruential sequence.
#pragma once

#include <cstdint>
#include <optional>

namespace karvelo {

class RandomGenerator {
 public:
  // Seeds from the clock, or with the fixed seed when one was given (a repeatable run).
  void Randomize(const std::optional<std::uint32_t>& fixedSeed);
  void SetSeed(std::uint32_t seed) { seed_ = seed; }
  std::uint32_t Seed() const { return seed_; }
  // A draw from 0..n-1: the seed steps to seed * 134775813 + 1 (mod 2^32), and the draw is the
  // upper 32 bits of the 64-bit product of the new seed and n.
  std::uint32_t Random(std::uint32_t n) {
    seed_ = seed_ * 134775813u + 1u;
    return static_cast<std::uint32_t>((static_cast<std::uint64_t>(seed_) * n) >> 32);
  }

 private:
  std::uint32_t seed_ = 0;
};

}  // namespace karvelo
