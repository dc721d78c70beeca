// Actions of the scanner rules that need more than a line.
#pragma once

#include <string>

// What the scanner keeps between its rules' actions.
struct ScannerState {
    int commentDepth = 0;             // nesting of brace comments
    bool includeNamePending = false;  // the next string is an include's file name
    bool incbinNamePending = false;   // the next string names a binary include
    std::string stringBody;           // the last string token's characters
    // Called at the end of each input; true when it made another input current.
    bool (*resumeAfterEnd)() = nullptr;
    // yyinput() answers 0 both for a NUL byte and for the end of the input.
    bool inputEnded = false;
    // The end of the text being scanned in place; none while reading a stream.
    const char* endOfTextInPlace = nullptr;
};

extern ScannerState scanning;

// Label definition: drops the ":" and composes the full name.
void scanLabelDefinition();
// Preprocessing: enters the label just scanned into the table.
void registerLabelDefinition();
// Identifier (a leading "&" already removed): composes the full name.
void scanIdentifier();
// Line marker 01 nnn: sets lineNumber.
void scanLineMarker();
// File marker 02 name: sets sourceName, at most 255 characters.
void scanFileMarker();
// Copies the string body just matched out of the scanner buffer, which the
// read of the closing quote may refill or, at the end of an included file,
// release; tokenText then points at the copy.
void captureStringBody();
// Preprocessing: a string that names the file of an INCBIN makes that file
// an input, which no output may overwrite.
void noteIncbinName();
// Preprocessing string bodies; true when the string is an include's file name.
int finishPreprocessedString(char quote, const char* unclosedMessage);
int finishEmptyPreprocessedString(char quote);
