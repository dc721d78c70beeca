// The files INCBIN names: each is read once and its bytes kept for the run,
// so that the passes after the first do not open it again.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// A file an INCBIN names, opened or found among the kept ones.
struct BinaryInput {
    std::string name;
    FILE* file = nullptr;                   // open until read
    int64_t reportedSize = -1;              // its size as the system reports it; -1: none
    std::optional<std::string_view> whole;  // the kept bytes, when kept
    std::string part;                       // what a file not kept gave
};

// Ends the run, saying so, when a file not kept does not open.
BinaryInput openBinaryInput(const std::string& name);

struct BinaryInputBytes {
    int64_t fileSize = 0;
    std::string_view kept;  // from start on, at most keep bytes
};

// Reads the file, unless kept, and closes it; ends the run when a read
// fails. Files are kept, read whole, while all of them together fit
// OUTPUT_SIZE_LIMIT; the others are read again in every pass, only the part
// the pass needs where the system reports their size.
BinaryInputBytes readBinaryInput(BinaryInput& input, int64_t start, int64_t keep);
