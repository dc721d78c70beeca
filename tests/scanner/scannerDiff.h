// Differential check of the re2c scanner against the flex reference: both
// scan the same text and must give the same token stream.
#pragma once

#include <string>

// How the text is scanned: in one CPU mode, as a source being preprocessed
// (its INCLUDEs read the included text from the name, "|" standing for a
// line end), or with the CPU mode changing from token to token.
enum class ScanMode {
    Z80,
    R800,
    GBZ80,
    PREPROCESS,
    MIXED
};

constexpr ScanMode ALL_SCAN_MODES[]
    = {ScanMode::Z80, ScanMode::R800, ScanMode::GBZ80, ScanMode::PREPROCESS, ScanMode::MIXED};

const char* scanModeName(ScanMode mode);

// Everything a scan shows: per token its code, value, text (the full name for
// names), line and file, then any message and the exit status; and the
// flattened text that preprocessing wrote. Each scan runs in a child process,
// as an error ends the run.
struct ScanRecord {
    std::string events;
    std::string flattened;
};

ScanRecord scanWithRe2c(const std::string& source, ScanMode mode);
ScanRecord scanWithFlex(const std::string& source, ScanMode mode);

// Empty when the two scanners agree on source (read as a file would be) in
// every mode, and the source text reads the same as with the former block
// reader; else what differs first.
std::string compareScanners(const std::string& source);
