// Runs GNU as, ld, objcopy and nm for the Z80 (Debian package binutils-z80).
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

struct GnuResult {
    bool assembled = false;
    std::set<int> refusedLines;  // 1-based lines that drew an error
    std::string messages;        // what as printed
    std::string image;           // linked at the origin, raw bytes
    std::map<std::string, uint32_t> symbols;
};

constexpr const char* GNU_ASSEMBLER = "z80-unknown-coff-as";
constexpr const char* GNU_PACKAGE = "binutils-z80";

bool gnuToolchainAvailable();
// Assembles source for the -march architecture; the image starts at address
// 0 and references to its own labels stay unresolved (the linker refuses
// GBZ80 objects, so only whole programs are linked).
GnuResult assembleWithGnu(const std::string& architecture, const std::string& source);
// Assembles source and links it at origin.
GnuResult assembleAndLinkWithGnu(const std::string& architecture, const std::string& source, uint32_t origin);
