// Seeding the generator.
#include "core/random.h"

#include <chrono>

namespace karvelo {

void RandomGenerator::Randomize(const std::optional<std::uint32_t>& fixedSeed) {
  if (fixedSeed) {
    seed_ = *fixedSeed;
    return;
  }
  // The low 32 bits of a high-resolution counter, as a clock seed.
  const auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
  seed_ = static_cast<std::uint32_t>(ticks);
}

}  // namespace karvelo
