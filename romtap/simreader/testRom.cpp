#include "testRom.h"

#include <algorithm>
#include <cstdint>

namespace simreader {

namespace {

constexpr unsigned char HEADER[] = {'A', 'B', 0x10, 0x40};  // start at 4010H

}  // namespace

std::vector<unsigned char> makeTestRom(std::size_t size)
{
    std::vector<unsigned char> image(size);
    std::uint32_t state = 0x2545F491u;
    for (auto& byte : image) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<unsigned char>(state >> 24);
    }
    std::copy_n(HEADER, std::min(size, sizeof HEADER), image.begin());
    return image;
}

}  // namespace simreader
