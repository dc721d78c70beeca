// The label table: 16384 hash buckets of chained records, names compared
// without regard to case. The chains keep the order the symbol file lists;
// look-ups go through an open-addressed index sized to the label count, so
// they stay short however many labels a program has.
#pragma once

#include "scannerLabels.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

struct LabelRecord {
    LabelRecord* next = nullptr;  // the next record of the same bucket
    int32_t value = 0;
    int definitionPass = 0;  // 0: entered by preprocessing, not yet defined by a pass
    uint32_t hash = 0;       // the index's hash of name, kept for probes and growth
    // Where the definition that entered it stands: its line, and its file as
    // an index into sourceSegments() (-1 for a -D name). Beside hash and
    // fromCommandLine, these fill what would be padding.
    int32_t definitionLine = 0;
    std::string_view name;  // as written at the definition that entered it; the table keeps the bytes
    int32_t definitionSegment = -1;
    bool fromCommandLine = false;  // a -D name: assembled with, but not listed in the symbol file
};
static_assert(sizeof(void*) != 8 || sizeof(LabelRecord) == 48,
              "the place fields fill padding: a record stays 48 bytes");

// Empties the table.
void clearLabels();
// A name's bucket is the low bits of this hash: it fixes the symbol file's order.
uint32_t labelHash(std::string_view name);
LabelRecord* findLabel(std::string_view name);
// The record of the current name token's full name (labelName), kept with
// the token so that later passes need no look-up.
LabelRecord* findTokenLabel();
// Local names before the first global label get the empty scope in every pass.
void resetGlobalLabel();
// The record whose name is nearest to name (letter case ignored): an edit
// distance of at most 2 and at most a third of name's length; among equally
// near ones the first in symbol-file order. nullptr when none is that near.
const LabelRecord* nearestLabel(std::string_view name);
// "Label 'NAME' not found" for labelName, the current token; the GNU form
// suggests the nearest label.
[[noreturn]] void reportLabelNotFound();
// "Label 'NAME' not defined within allowable passes" for labelName.
[[noreturn]] void reportLabelNotDefined();
