// Spots a cartridge whose size differs from the dump asked for. Past its
// end, a smaller ROM shows itself again (mirrored banks), so later banks
// repeat bank 0, or the image's second half repeats its first. A larger one
// shows bytes after a one-block dump that are neither empty (FFH) nor a
// repeat of its start.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class MirrorCheck {
public:
    MirrorCheck(int blockCount, int blockSize);

    // Blocks arrive in order, each as it goes into the image.
    void addBlock(int block, const unsigned char* bytes);
    // The size bytes read after a one-block dump, and the dump's first bytes.
    void addFollowingBytes(const unsigned char* following, const unsigned char* dumped, std::size_t size);

    // The warnings for the user, a line each, or "" when there are none.
    std::string warning() const;

private:
    std::string smallerWarning() const;
    void halveWhileMirrored(const unsigned char* bytes);

    int blockCount_;
    std::size_t blockSize_;
    std::vector<unsigned char> firstBlock_;  // bank 0 of a banked dump
    int repeatingBank_ = 0;                  // the first bank equal to bank 0; 0: none
    std::size_t mirroredSize_ = 0;           // one-block dump: the size after halving; 0: none
    std::size_t followingData_ = 0;          // bytes after a one-block dump that hold data; 0: none
};
