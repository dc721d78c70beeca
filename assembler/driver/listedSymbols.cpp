#include "listedSymbols.h"

#include "../expressions/labels.h"
#include "base/AsmState.h"
#include "base/sourceFiles.h"
#include "base/text.h"

#include <algorithm>
#include <string>

namespace {

std::string upperCased(const std::string& name)
{
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(asciiUpper(static_cast<unsigned char>(c)));
    return upper;
}

std::string placeOf(const LabelRecord& record)
{
    if (record.fromCommandLine)
        return "<command-line>";
    return definitionPlace(record.definitionSegment, record.definitionLine);
}

}  // namespace

std::vector<ListedSymbol> listedSymbols()
{
    std::vector<std::pair<std::string, ListedSymbol>> keyed;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0) {
                std::string name(record->name);
                keyed.emplace_back(upperCased(name),
                                   ListedSymbol{name, static_cast<uint32_t>(record->value), placeOf(*record)});
            }
    std::sort(keyed.begin(), keyed.end(), [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<ListedSymbol> symbols;
    symbols.reserve(keyed.size());
    for (auto& entry : keyed)
        symbols.push_back(std::move(entry.second));
    return symbols;
}
