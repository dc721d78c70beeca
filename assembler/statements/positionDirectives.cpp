#include "positionDirectives.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/listing.h"
#include "../driver/base/text.h"
#include "../expressions/evaluator.h"
#include "../expressions/labelReads.h"
#include "../expressions/labels.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "dispatcher.h"

void defineLabel()
{
    LabelRecord* record = findTokenLabel();
    // Preprocessing enters every definition; only stray marker bytes in a
    // source can make the two passes see different names.
    if (!record)
        reportLabelNotFound();
    asmState.currentLabel = record;
    const bool global = asmState.tokenText[0] != '.';
    advanceToken();
    int32_t value;
    if (asmState.curToken == TOKEN_EQU) {
        // An EQU is read again in every pass, as its value may come from
        // anywhere.
        ++asmState.stateDependences;
        advanceToken();
        value = evaluateExpression();
        if (listingActive())
            listEquValue(value);
    } else {
        value = wrappingAdd(asmState.address, asmState.phaseOffset);
        noteDefinition(record, value, global);
    }
    if (asmState.finalPass && record->value != value)
        reportWarning(WarningClass::LABEL_CHANGED, "Label value changed in the last pass!");
    record->value = value;
    record->definitionPass = asmState.pass;
}

void orgDirective()
{
    advanceToken();
    asmState.address = evaluateExpression();
    asmState.phaseOffset = 0;
    if (asmState.curToken == ',') {
        advanceToken();
        asmState.addressLimit = wrappingAdd(evaluateExpression(), 1);
    } else {
        asmState.addressLimit = 0;
    }
}

void phaseDirective()
{
    advanceToken();
    int32_t logicalAddress = evaluateExpression();
    asmState.phaseOffset = wrappingSubtract(logicalAddress, asmState.address);
}

void dephaseDirective()
{
    asmState.phaseOffset = 0;
    advanceToken();
}

void cpuDirective()
{
    static const struct {
        const char* name;
        CpuMode mode;
    } modes[] = {{"z80", CPU_MODE_Z80}, {"r800", CPU_MODE_R800}, {"msx", CPU_MODE_R800}, {"gbz80", CPU_MODE_GBZ80}};

    advanceToken();
    if (asmState.curToken != TOKEN_IDENTIFIER)
        reportErrorAtToken("Illegal operand for CPU");
    for (const auto& entry : modes) {
        if (equalIgnoringCase(asmState.labelName, entry.name)) {
            asmState.cpuMode = entry.mode;
            advanceToken();
            return;
        }
    }
    reportErrorAtToken("Invalid CPU mode ID");
}
