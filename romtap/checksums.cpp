#include "checksums.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t index = 0; index < 256; ++index) {
        std::uint32_t value = index;
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1) ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        table[index] = value;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> CRC_TABLE = makeCrcTable();

constexpr std::uint32_t rotateLeft(std::uint32_t value, int count)
{
    return (value << count) | (value >> (32 - count));
}

std::uint32_t bigEndianWord(const unsigned char* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

void Crc32::update(const unsigned char* bytes, std::size_t size)
{
    for (std::size_t index = 0; index < size; ++index)
        state_ = CRC_TABLE[(state_ ^ bytes[index]) & 0xFF] ^ (state_ >> 8);
}

void Sha1::update(const unsigned char* bytes, std::size_t size)
{
    totalBytes_ += size;
    while (size > 0) {
        const std::size_t taken = std::min(size, pending_.size() - pendingSize_);
        std::copy_n(bytes, taken, pending_.begin() + static_cast<std::ptrdiff_t>(pendingSize_));
        pendingSize_ += taken;
        bytes += taken;
        size -= taken;
        if (pendingSize_ == pending_.size()) {
            compressBlock(pending_.data());
            pendingSize_ = 0;
        }
    }
}

Sha1::Digest Sha1::digest() const
{
    Sha1 finished = *this;
    const std::uint64_t bitCount = totalBytes_ * 8;
    // A single 1 bit, zeros up to 8 bytes short of a block, then the length.
    const unsigned char marker = 0x80;
    finished.update(&marker, 1);
    const unsigned char zero = 0;
    while (finished.pendingSize_ != pending_.size() - 8)
        finished.update(&zero, 1);
    for (int shift = 56; shift >= 0; shift -= 8) {
        const auto byte = static_cast<unsigned char>(bitCount >> shift);
        finished.update(&byte, 1);
    }
    Digest result{};
    for (std::size_t word = 0; word < finished.state_.size(); ++word) {
        for (std::size_t byte = 0; byte < 4; ++byte)
            result[word * 4 + byte] = static_cast<unsigned char>(finished.state_[word] >> (24 - 8 * byte));
    }
    return result;
}

void Sha1::compressBlock(const unsigned char* block)
{
    std::array<std::uint32_t, 80> schedule{};
    for (std::size_t index = 0; index < 16; ++index)
        schedule[index] = bigEndianWord(block + 4 * index);
    for (std::size_t index = 16; index < 80; ++index) {
        const std::uint32_t combined
            = schedule[index - 3] ^ schedule[index - 8] ^ schedule[index - 14] ^ schedule[index - 16];
        schedule[index] = rotateLeft(combined, 1);
    }
    auto [a, b, c, d, e] = state_;
    for (std::size_t round = 0; round < 80; ++round) {
        std::uint32_t mixed = 0;
        std::uint32_t constant = 0;
        if (round < 20) {
            mixed = (b & c) | (~b & d);
            constant = 0x5A827999u;
        } else if (round < 40) {
            mixed = b ^ c ^ d;
            constant = 0x6ED9EBA1u;
        } else if (round < 60) {
            mixed = (b & c) | (b & d) | (c & d);
            constant = 0x8F1BBCDCu;
        } else {
            mixed = b ^ c ^ d;
            constant = 0xCA62C1D6u;
        }
        const std::uint32_t next = rotateLeft(a, 5) + mixed + e + constant + schedule[round];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = next;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
    state_[4] += e;
}

std::string toHex(std::uint32_t value)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08lx", static_cast<unsigned long>(value));
    return text;
}

std::string toHex(const Sha1::Digest& digest)
{
    std::string text;
    for (unsigned char byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}
