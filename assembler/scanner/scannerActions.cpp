#include "scannerActions.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../driver/base/fileSafety.h"
#include "../driver/base/inputLookup.h"
#include "../driver/base/sourceFiles.h"
#include "../expressions/scannerLabels.h"
#include "numbers.h"
#include "tokenMention.h"
#include "tokenStream.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

void composeFullName()
{
    if (asmState.tokenText[0] == '.')
        joinLocalName();
    else
        setLabelName(asmState.tokenText, asmState.tokenLength);
}

}  // namespace

RuleActionState ruleActions;

void captureStringBody()
{
    ruleActions.stringBodySource = asmState.tokenText;
    ruleActions.stringBody.assign(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
    asmState.tokenText = ruleActions.stringBody.data();
}

void scanLabelDefinition()
{
    --asmState.tokenLength;
    bool isGlobal = asmState.tokenText[0] != '.';
    composeFullName();
    if (isGlobal)
        setGlobalLabelFromLabelName();
}

void registerLabelDefinition()
{
    asmState.currentLabel = insertLabel(asmState.labelName);
    if (!asmState.currentLabel)
        reportDuplicateLabel(nameTokenMention());
    // Preprocessing: the file being read is the last one noted.
    setDefinitionPlace(asmState.currentLabel, static_cast<int>(sourceSegments().size()) - 1, asmState.lineNumber);
}

void scanIdentifier()
{
    composeFullName();
}

void scanLineMarker()
{
    // The digits after the 01 byte, up to the first other byte; the number
    // wraps in 32 bits, so that a stray 01 before a long digit run stays
    // well defined.
    enterLine(convertDecimal(asmState.tokenText + 1, asmState.tokenLength - 1));
}

void scanFileMarker()
{
    // A stray 02 in a source can make this text arbitrarily long: keep 255.
    int length = std::min(asmState.tokenLength - 1, SOURCE_NAME_SIZE - 1);
    std::memcpy(asmState.sourceName, asmState.tokenText + 1, static_cast<std::size_t>(length));
    asmState.sourceName[length] = '\0';
    recordFileMarker();
    noteFileMarkerRead();
}

void noteIncbinName()
{
    if (!ruleActions.incbinNamePending)
        return;
    ruleActions.incbinNamePending = false;
    if (asmState.tokenLength > 0)
        protectFile(locateBinaryInput(std::string(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength))),
                    FileRole::INPUT);
}
