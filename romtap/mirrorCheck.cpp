#include "mirrorCheck.h"

#include <algorithm>
#include <cstdio>

MirrorCheck::MirrorCheck(int blockCount, int blockSize)
    : blockCount_(blockCount), blockSize_(static_cast<std::size_t>(std::max(blockSize, 0)))
{
    // Taken now, so that a lack of memory shows before the image is created.
    if (blockCount_ > 1)
        firstBlock_.reserve(blockSize_);
}

void MirrorCheck::addBlock(int block, const unsigned char* bytes)
{
    if (blockSize_ == 0)
        return;  // empty blocks repeat nothing
    if (blockCount_ == 1) {
        halveWhileMirrored(bytes);
    } else if (block == 0) {
        firstBlock_.assign(bytes, bytes + blockSize_);
    } else if (repeatingBank_ == 0 && std::equal(firstBlock_.begin(), firstBlock_.end(), bytes)) {
        repeatingBank_ = block;
    }
}

// An 8 KiB ROM read as 32 KiB may repeat four times: halve again and again.
void MirrorCheck::halveWhileMirrored(const unsigned char* bytes)
{
    std::size_t size = blockSize_;
    while (size % 2 == 0 && size > 0 && std::equal(bytes, bytes + size / 2, bytes + size / 2))
        size /= 2;
    if (size != blockSize_)
        mirroredSize_ = size;
}

void MirrorCheck::addFollowingBytes(const unsigned char* following, const unsigned char* dumped, std::size_t size)
{
    const bool empty = std::all_of(following, following + size, [](unsigned char byte) { return byte == 0xFF; });
    if (!empty && !std::equal(following, following + size, dumped))
        followingData_ = size;
}

std::string MirrorCheck::warning() const
{
    std::string warnings = smallerWarning();
    if (followingData_ != 0) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "Warning: the %llu bytes after the dump are neither FFH nor a repeat of its start: the "
                      "cartridge probably holds more; -s %llX would take them.\n",
                      static_cast<unsigned long long>(followingData_),
                      static_cast<unsigned long long>(blockSize_ + followingData_));
        warnings += text;
    }
    return warnings;
}

std::string MirrorCheck::smallerWarning() const
{
    const auto bytesIn
        = [this](int blocks) { return static_cast<unsigned long long>(blockSize_) * static_cast<unsigned>(blocks); };
    const unsigned long long dumped = bytesIn(blockCount_);
    char text[200];
    if (repeatingBank_ != 0) {
        const unsigned long long probable = bytesIn(repeatingBank_);
        std::snprintf(text, sizeof text,
                      "Warning: bank %d equals bank 0: the cartridge is probably %llu bytes, %llu bytes smaller than "
                      "dumped (mirrored banks).\n",
                      repeatingBank_, probable, dumped - probable);
        return text;
    }
    if (mirroredSize_ != 0) {
        const auto probable = static_cast<unsigned long long>(mirroredSize_);
        std::snprintf(text, sizeof text,
                      "Warning: the image's second half equals its first: the cartridge is probably %llu bytes, %llu "
                      "bytes smaller than dumped (mirrored).\n",
                      probable, dumped - probable);
        return text;
    }
    return {};
}
