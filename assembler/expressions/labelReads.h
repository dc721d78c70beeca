// The labels a statement reads through the evaluator, and the values they
// gave: a statement kept with them gives the same bytes in a later pass
// where each of them still gives its value.
#pragma once

#include "labels.h"

#include <cstdint>

struct LabelRead {
    const LabelRecord* label;
    int32_t value;

    // Whether the label would give the value now: defined, and unchanged.
    bool holds() const { return label->definitionPass != 0 && label->value == value; }
};

// Beyond this many reads a statement is not kept: runs of kept statements
// are checked read by read before they are served.
constexpr unsigned MAX_LOGGED_LABEL_READS = 8;

struct LabelReadLog {
    bool active = false;
    unsigned count = 0;  // reads while active; only the first MAX_LOGGED_LABEL_READS are kept
    LabelRead reads[MAX_LOGGED_LABEL_READS];
};
extern LabelReadLog labelReadLog;

// A defined label's value read, while a statement that may be kept runs.
inline void noteLabelRead(const LabelRecord* label)
{
    LabelReadLog& log = labelReadLog;
    if (!log.active)
        return;
    if (log.count < MAX_LOGGED_LABEL_READS)
        log.reads[log.count] = {label, label->value};
    ++log.count;
}
