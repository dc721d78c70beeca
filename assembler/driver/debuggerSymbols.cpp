#include "debuggerSymbols.h"

#include "../expressions/labels.h"
#include "base/AsmState.h"
#include "base/text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// A value as the default symbol file prints it, unsigned: a negative one is
// above FFFFH there too.
constexpr uint32_t HIGHEST_ADDRESS = 0xFFFF;

// Names ignore case, so upper-cased they order every label; a byte-wise
// tie-break keeps the order total all the same.
bool nameBefore(std::string_view left, std::string_view right)
{
    if (lessIgnoringCase(left, right))
        return true;
    if (lessIgnoringCase(right, left))
        return false;
    return left < right;
}

bool symbolBefore(const LabelRecord* left, const LabelRecord* right)
{
    if (left->value != right->value)
        return static_cast<uint32_t>(left->value) < static_cast<uint32_t>(right->value);
    return nameBefore(left->name, right->name);
}

void appendLine(std::string& text, SymbolFormat format, const LabelRecord& record)
{
    char address[5];
    std::snprintf(address, sizeof address, "%04X", static_cast<unsigned>(record.value));
    if (format == SymbolFormat::NOICE) {
        text += "def ";
        text += record.name;
        text += ' ';
        text += address;
        text += "h\n";
    } else {
        text += "00:";
        text += address;
        text += ' ';
        text += record.name;
        text += '\n';
    }
}

}  // namespace

DebuggerSymbols debuggerSymbols(SymbolFormat format)
{
    DebuggerSymbols symbols;
    std::vector<const LabelRecord*> listed;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next) {
            if (record->definitionPass == 0 || record->fromCommandLine)
                continue;
            if (static_cast<uint32_t>(record->value) > HIGHEST_ADDRESS)
                ++symbols.leftOut;
            else
                listed.push_back(record);
        }
    std::sort(listed.begin(), listed.end(), symbolBefore);
    for (const LabelRecord* record : listed)
        appendLine(symbols.text, format, *record);
    return symbols;
}
