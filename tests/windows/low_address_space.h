// Takes the memory below 4 GiB away from the process, so that every later
// allocation lies above it, as it may on real 64-bit Windows.
#pragma once

#include <cstdint>

constexpr std::uintptr_t four_gib = std::uintptr_t{1} << 32;

// Reserves every free range of addresses below 4 GiB, then takes whatever
// room the C heap still has there; both stay taken until the process ends.
void use_up_memory_below_4_gib();
