// What the scanner asks of the label table: it registers each label
// definition while preprocessing and composes full names. This header is
// the one place where the scanner reaches up into this layer.
#pragma once

#include "../driver/base/diagnostics.h"

#include <cstdint>
#include <string_view>

struct LabelRecord;

// A new record for name with the current pass as its definition pass; nullptr
// when the table already holds the name (compared without regard to case).
LabelRecord* insertLabel(std::string_view name);
// "Duplicate label definition" for labelName, the definition `label` (as
// written); the GNU form notes where the name was first defined.
[[noreturn]] void reportDuplicateLabel(const TokenMention& label);
// Where the definition that entered record stands (segment: an index into
// sourceSegments()).
void setDefinitionPlace(LabelRecord* record, int segment, int line);
// Starts loading the table's slot for name, whose look-up it returns the
// hash of (see findTokenLabel): the scanner records a name token a little
// before the parser looks it up, and the slot is mostly not in the cache.
uint32_t prefetchLabel(std::string_view name);
// labelName = globalLabel followed by tokenText; tokenLength = the joined length.
void joinLocalName();
// labelName = the first `length` characters of text, which stays in place.
void setLabelName(const char* text, int length);
// globalLabel = labelName (a definition of a name that does not begin with ".").
void setGlobalLabelFromLabelName();
