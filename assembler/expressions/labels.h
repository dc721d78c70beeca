// The label table: 16384 hash buckets of chained records, names compared
// without regard to case.
#pragma once

#include <cstdint>

struct LabelRecord {
    LabelRecord* next;
    int32_t value;
    int definitionPass;  // 0: entered by preprocessing, not yet defined by a pass
    char name[1];        // allocated with room for the whole name
};

void clearLabels();
uint32_t labelHash(const char* name, int length);
LabelRecord* findLabel(const char* name, int length);
// Returns nullptr when the name is already in the table.
LabelRecord* insertLabel(const char* name, int length);
// labelName = globalLabel followed by tokenText; tokenLength = the joined length.
void joinLocalName();
// labelName = the first `length` characters of text.
void setLabelName(const char* text, int length);
// globalLabel = labelName (a definition of a name that does not begin with ".").
void setGlobalLabelFromLabelName();
// Local names before the first global label get the empty scope in every pass.
void resetGlobalLabel();
