// CRC32 and SHA-1 of a dump, fed block by block, as preservation
// databases list them for every known cartridge.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The CRC32 of zip and PNG: reflected polynomial EDB88320, initial and
// final value FFFFFFFF.
class Crc32 {
public:
    void update(const unsigned char* bytes, std::size_t size);
    std::uint32_t value() const { return ~state_; }

private:
    std::uint32_t state_ = 0xFFFFFFFFu;
};

class Sha1 {
public:
    using Digest = std::array<unsigned char, 20>;

    void update(const unsigned char* bytes, std::size_t size);
    // Of everything fed so far; more may follow.
    Digest digest() const;

private:
    void compressBlock(const unsigned char* block);

    std::array<std::uint32_t, 5> state_{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    std::array<unsigned char, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// Lower-case hexadecimal, as checksum tools and databases print them.
std::string toHex(std::uint32_t value);
std::string toHex(const Sha1::Digest& digest);
