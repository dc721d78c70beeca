#include "listedSymbols.h"

#include "../expressions/labels.h"
#include "base/AsmState.h"
#include "base/sourceFiles.h"
#include "base/text.h"

#include <algorithm>
#include <string>

namespace {

std::string placeOf(const LabelRecord& record)
{
    if (record.fromCommandLine)
        return "<command-line>";
    return definitionPlace(record.definitionSegment, record.definitionLine);
}

}  // namespace

std::vector<ListedSymbol> listedSymbols()
{
    std::vector<const LabelRecord*> defined;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0)
                defined.push_back(record);
    std::sort(defined.begin(), defined.end(), [](const LabelRecord* left, const LabelRecord* right) {
        return lessIgnoringCase(left->name, right->name);
    });
    std::vector<ListedSymbol> symbols;
    symbols.reserve(defined.size());
    for (const LabelRecord* record : defined)
        symbols.push_back({std::string(record->name), static_cast<uint32_t>(record->value), placeOf(*record)});
    return symbols;
}
