#include "cartridge.h"

#include <utility>

namespace simreader {

namespace {

// Banked cartridges answer in 4000H-BFFFH, split into windows of one bank.
constexpr std::uint64_t WINDOWS_START = 0x4000;
constexpr std::uint64_t WINDOWS_END = 0xC000;
// Plain ROMs of up to 32 KiB start at 4000H, larger ones at 0000H.
constexpr std::size_t PLAIN_HIGH_LIMIT = 0x8000;
constexpr std::size_t PLAIN_LIMIT = 0x10000;
constexpr std::size_t BANK_NUMBERS = 256;  // one register byte

constexpr MapperLayout MAPPERS[] = {
    {"plain", 0, {}, 0},
    {"bank8-5000", 0x2000, {{{0x5000, 0x57FF, 0}, {0x7000, 0x77FF, 1}, {0x9000, 0x97FF, 2}, {0xB000, 0xB7FF, 3}}}, 4},
    {"bank8-6000", 0x2000, {{{0x6000, 0x67FF, 0}, {0x6800, 0x6FFF, 1}, {0x7000, 0x77FF, 2}, {0x7800, 0x7FFF, 3}}}, 4},
    // The 4000H window always shows bank 0.
    {"bank8-fixed", 0x2000, {{{0x6000, 0x7FFF, 1}, {0x8000, 0x9FFF, 2}, {0xA000, 0xBFFF, 3}}}, 3},
    {"bank16", 0x4000, {{{0x6000, 0x67FF, 0}, {0x7000, 0x77FF, 1}}}, 2},
};

}  // namespace

const MapperLayout* findMapper(std::string_view name)
{
    for (const auto& mapper : MAPPERS) {
        if (mapper.name == name)
            return &mapper;
    }
    return nullptr;
}

std::size_t largestImage(const MapperLayout& mapper)
{
    return mapper.bankSize == 0 ? PLAIN_LIMIT : BANK_NUMBERS * mapper.bankSize;
}

std::string imageSizeProblem(const MapperLayout& mapper, std::size_t size)
{
    if (size == 0)
        return "ROM image is empty";
    if (size > largestImage(mapper))
        return "ROM image exceeds " + std::to_string(largestImage(mapper)) + " bytes, the most "
               + std::string(mapper.name) + " can address";
    return {};
}

Cartridge::Cartridge(const MapperLayout& mapper, std::vector<unsigned char> image)
    : mapper_(&mapper), image_(std::move(image)), windowBanks_{0, 1, 2, 3}
{
}

unsigned char Cartridge::read(std::uint64_t address) const
{
    return mapper_->bankSize == 0 ? readPlain(address) : readBanked(address);
}

unsigned char Cartridge::readPlain(std::uint64_t address) const
{
    const std::uint64_t base = image_.size() <= PLAIN_HIGH_LIMIT ? WINDOWS_START : 0;
    if (address < base || address - base >= image_.size())
        return 0xFF;
    return image_[address - base];
}

unsigned char Cartridge::readBanked(std::uint64_t address) const
{
    if (address < WINDOWS_START || address >= WINDOWS_END)
        return 0xFF;
    const std::uint64_t bankSize = mapper_->bankSize;
    const std::uint64_t bankCount = (image_.size() + bankSize - 1) / bankSize;
    const std::uint64_t window = (address - WINDOWS_START) / bankSize;
    const std::uint64_t bank = windowBanks_[window] % bankCount;
    const std::uint64_t offset = bank * bankSize + (address - WINDOWS_START) % bankSize;
    return offset < image_.size() ? image_[offset] : 0xFF;
}

void Cartridge::write(std::uint64_t address, unsigned char value)
{
    for (int index = 0; index < mapper_->registerCount; ++index) {
        const BankRegister& bankRegister = mapper_->registers[index];
        if (address >= bankRegister.first && address <= bankRegister.last)
            windowBanks_[bankRegister.window] = value;
    }
}

}  // namespace simreader
