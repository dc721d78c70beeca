// Spots a cartridge smaller than the dump asked for: past its end, a
// smaller ROM shows itself again (mirrored banks), so later banks repeat
// bank 0, or the image's second half repeats its first.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class MirrorCheck {
public:
    MirrorCheck(int blockCount, int blockSize);

    // Blocks arrive in order, each as it goes into the image.
    void addBlock(int block, const unsigned char* bytes);

    // The warning for the user, or "" when nothing repeats.
    std::string warning() const;

private:
    void halveWhileMirrored(const unsigned char* bytes);

    int blockCount_;
    std::size_t blockSize_;
    std::vector<unsigned char> firstBlock_;  // bank 0 of a banked dump
    int repeatingBank_ = 0;                  // the first bank equal to bank 0; 0: none
    std::size_t mirroredSize_ = 0;           // one-block dump: the size after halving; 0: none
};
