// The labels a statement reads through the evaluator, and the values they
// gave: a statement kept with them gives the same bytes in a later pass
// where each of them still gives its value.
#pragma once

#include "../driver/base/AsmState.h"
#include "labels.h"

#include <cstdint>

// What the bytes of a kept statement depend on, and what it changes besides:
// a label it read and the value that gave; the position it was assembled at
// (a relative jump's); or a label it defined there, with the position as
// its value.
struct LabelRead {
    enum Kind : uint8_t {
        LABEL,
        POSITION,
        DEFINITION,
        GLOBAL_DEFINITION,  // a global label: the scope of local names
    };
    const LabelRecord* label;  // but for a position
    int32_t value;
    // For a position and a definition: the bytes its run emits before the
    // statement, which the run adds to the position it is served at.
    uint16_t offset;
    Kind kind;

    bool isDefinition() const { return kind >= DEFINITION; }
    // Whether the statement would give the same bytes and change the same,
    // in a run served at position runStart: the label defined with the
    // value, the position the same; a definition also where it stands.
    bool holds(int32_t runStart) const
    {
        if (kind == LABEL)
            return label->definitionPass != 0 && label->value == value;
        const bool sameShift = wrappingAdd(runStart, offset) == value;
        return kind == POSITION ? sameShift : sameShift && label->value == value;
    }
};
static_assert(sizeof(void*) != 8 || sizeof(LabelRead) == 16);

// Beyond this many reads a statement is not kept: runs of kept statements
// are checked read by read before they are served.
constexpr unsigned MAX_LOGGED_LABEL_READS = 8;

struct LabelReadLog {
    bool active = false;
    bool positional = false;  // a position or definition was noted
    unsigned count = 0;       // reads while active; only the first MAX_LOGGED_LABEL_READS are kept
    LabelRead reads[MAX_LOGGED_LABEL_READS];
};
extern LabelReadLog labelReadLog;

inline void noteDependence(const LabelRecord* label, int32_t value, LabelRead::Kind kind)
{
    LabelReadLog& log = labelReadLog;
    if (!log.active)
        return;
    if (log.count < MAX_LOGGED_LABEL_READS)
        log.reads[log.count] = {label, value, 0, kind};
    ++log.count;
    if (kind != LabelRead::LABEL)
        log.positional = true;
}

// A defined label's value read, while a statement that may be kept runs.
inline void noteLabelRead(const LabelRecord* label)
{
    noteDependence(label, label->value, LabelRead::LABEL);
}

// The statement's position (address and phase), which its bytes depend on;
// a value read from state.
inline void notePositionRead(int32_t position)
{
    ++asmState.stateDependences;
    noteDependence(nullptr, position, LabelRead::POSITION);
}

// The label the statement defines at its position; a value read from state.
inline void noteDefinition(const LabelRecord* label, int32_t position, bool global)
{
    ++asmState.stateDependences;
    noteDependence(label, position, global ? LabelRead::GLOBAL_DEFINITION : LabelRead::DEFINITION);
}
