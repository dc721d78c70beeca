// Actions of the scanner rules that need more than a line.
#pragma once

#include "../driver/base/AsmState.h"
#include "../driver/base/sourceFiles.h"

#include <string>

// What the scanner keeps between its rules' actions.
struct RuleActionState {
    int commentDepth = 0;                    // nesting of brace comments
    bool includeNamePending = false;         // the next string is an include's file name
    bool incbinNamePending = false;          // the next string names a binary include
    std::string stringBody;                  // the last string token's characters
    const char* stringBodySource = nullptr;  // where they were copied from
    // Set by every rule that gives tokenValue a value; the others leave it.
    bool valueSet = false;
    // Preprocessing with macros: label definitions are copied, not
    // registered, as the expansion registers those of the expanded text.
    bool labelsDeferred = false;
};

extern RuleActionState ruleActions;

// Label definition: drops the ":" and composes the full name.
void scanLabelDefinition();
// Preprocessing: enters the label just scanned into the table.
void registerLabelDefinition();
// Identifier (a leading "&" already removed): composes the full name.
void scanIdentifier();
// Line marker 01 nnn: sets lineNumber.
void scanLineMarker();
// What a line marker does once its number is read (a replayed one too).
// Inline: every line of every pass comes here.
inline void enterLine(int number)
{
    asmState.lineNumber = number;
    noteLineMarkerRead();
}
// File marker 02 name: sets sourceName, at most 255 characters.
void scanFileMarker();
// Copies the string body just matched out of the scanned text, which the
// read of the closing quote may release at the end of an included file, and
// which a DC directive must not change; tokenText then points at the copy.
void captureStringBody();
// Preprocessing: a string that names the file of an INCBIN makes the file
// the passes will read an input, which no output may overwrite.
void noteIncbinName();
