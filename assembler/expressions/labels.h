// The label table: 16384 hash buckets of chained records, names compared
// without regard to case.
#pragma once

#include "scannerLabels.h"

#include <cstdint>
#include <string>
#include <string_view>

struct LabelRecord {
    LabelRecord* next = nullptr;  // the next record of the same bucket
    int32_t value = 0;
    int definitionPass = 0;       // 0: entered by preprocessing, not yet defined by a pass
    std::string name;             // as written at the definition that entered it
    bool fromCommandLine = false; // a -D name: assembled with, but not listed in the symbol file
};

// Empties the table.
void clearLabels();
uint32_t labelHash(std::string_view name);
LabelRecord* findLabel(std::string_view name);
// Local names before the first global label get the empty scope in every pass.
void resetGlobalLabel();
