// A cartridge as the simulated reader sees it: a ROM image behind one of the
// common MSX cartridge mappers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace simreader {

struct BankRegister {
    std::uint32_t first;  // a write anywhere from first to last selects the window's bank
    std::uint32_t last;
    int window;
};

struct MapperLayout {
    std::string_view name;
    std::uint32_t bankSize;  // 0: plain ROM without banks
    std::array<BankRegister, 4> registers;
    int registerCount;
};

const MapperLayout* findMapper(std::string_view name);

// Empty when the mapper can serve an image of this size, else the problem.
std::string imageSizeProblem(const MapperLayout& mapper, std::size_t size);
std::size_t largestImage(const MapperLayout& mapper);

class Cartridge {
public:
    Cartridge(const MapperLayout& mapper, std::vector<unsigned char> image);

    // Addresses the cartridge does not decode read as FFH.
    unsigned char read(std::uint64_t address) const;
    // Writes reach only the bank registers; the ROM itself cannot change.
    void write(std::uint64_t address, unsigned char value);

private:
    unsigned char readPlain(std::uint64_t address) const;
    unsigned char readBanked(std::uint64_t address) const;

    const MapperLayout* mapper_;
    std::vector<unsigned char> image_;
    std::array<unsigned char, 4> windowBanks_;
};

}  // namespace simreader
