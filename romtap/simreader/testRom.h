// Cartridge images made up for tests and the demo: no commercial ROM needed.
#pragma once

#include <cstddef>
#include <vector>

namespace simreader {

// A cartridge header ("AB" and a start address), then deterministic
// pseudo-random bytes, so that every bank of the image differs from the others.
std::vector<unsigned char> makeTestRom(std::size_t size);

}  // namespace simreader
