// Where each stretch of the flattened source came from. The flattened file
// names files as their directives wrote them; this keeps the path each one
// was opened under, for messages an editor can follow, the listing and the
// make rule.
#pragma once

#include "AsmState.h"

#include <string>
#include <string_view>
#include <vector>

// One file marker of the flattened source, in the order they were written.
struct SourceSegment {
    std::string writtenName;       // as in the marker
    std::string openedPath;        // as opened, relative to the working directory
    int firstLine = 1;             // the line the stretch starts on
    bool resumesIncluder = false;  // back in the including file after an include
    int includedAt = 0;            // a file just opened: the line of the INCLUDE that named it
};

// Preprocessing: a file marker for a file just opened under openedPath, and
// one for the return to the including file.
void noteFileStart(const char* writtenName, const std::string& openedPath);
void noteFileResume(const char* writtenName, int line);
// The path of the file being preprocessed (during the passes: of the file of
// the current statement).
std::string currentOpenedPath();
const std::vector<SourceSegment>& sourceSegments();

// Files read in the passes (INCBIN), in order of first use.
void noteBinaryInput(const std::string& openedPath);
const std::vector<std::string>& binaryInputs();

// Where the passes read, and where the current statement began: written at
// every line marker and statement, inline.
struct ReadingState {
    int readingSegment = -1;  // the segment of the last file marker read
    // Back in an including file, the line number stays the included file's
    // until the next line marker: the line of the INCLUDE stands in.
    int resumedLine = 0;
    int statementSegment = -1;
    int statementLine = 0;
    const char* statementText = nullptr;  // its first token's text, where it was scanned
    bool inStatement = false;
    bool expansionMarkers = false;  // line markers carry expansion steps
};
extern ReadingState reading;

// What a line marker and a statement start note of the expansion steps.
void noteExpansionStepsRead();
void markExpandedStatementStart();

// The passes: a pass starts reading the flattened source from its start; the
// scanner read a file marker or a line marker; a statement starts at the
// current line.
void restartSourceSegments();
void noteFileMarkerRead();
inline void noteLineMarkerRead()
{
    reading.resumedLine = 0;
    if (reading.expansionMarkers)
        noteExpansionStepsRead();
}
// The line being read; back in an including file before its next line
// marker, the line of the INCLUDE.
inline int readingLine()
{
    return reading.resumedLine != 0 ? reading.resumedLine : asmState.lineNumber;
}
inline void markStatementStart()
{
    reading.statementSegment = reading.readingSegment;
    reading.statementLine = readingLine();
    reading.statementText = asmState.tokenText;
    reading.inStatement = true;
    if (reading.expansionMarkers)
        markExpandedStatementStart();
}
// No statement is open (between passes, at the end of the run).
inline void clearStatementStart()
{
    reading.inStatement = false;
}

// A line of the gnu form's that follows a message: "FILE:LINE: note: TEXT".
struct MessageNote {
    std::string file;
    int line = 0;
    std::string text;
};

// Where a message belongs: the statement's own line while one is open (or
// the directive being preprocessed), else the line being read. An expanded
// line also names the macro lines that made it, innermost first.
struct MessagePosition {
    std::string file;
    int line = 0;
    bool inStatement = false;
    std::vector<MessageNote> notes;
};
MessagePosition messagePosition();
// Index into sourceSegments() of the file being read, and of the current
// statement's file (-1: none).
int readingSegmentIndex();
int statementSegment();
int statementLine();
// Where the current statement's first token lies in the scanned text.
const char* statementText();
// The place of a definition as messages and the listing name it:
// "FILE:LINE", the file as opened.
std::string definitionPlace(int segment, int line);
// Expanded lines. Their line markers carry, after the line of the call,
// one step per level of expansion, outermost first:
// EXPANSION_STEP NAME "," SEGMENT "," LINE, NAME being the macro's or "REPT".
constexpr char EXPANSION_STEP = '\x03';
// The passes read the steps of each line marker from here on.
void enableExpansionMarkers();
// The passes: whether the current statement is on an expanded line, and
// that line's text in the flattened source.
bool statementIsExpanded();
std::string_view statementExpandedLine();
// Preprocessing: a statement at `line` of segment `segment`, made by the
// expansion `steps` (empty for none), is being expanded.
void markExpandedStatement(int segment, int line, std::string_view steps);
// One more note for the next message (the other place a message names).
void addMessageNote(MessageNote note);
// Preprocessing: the INCLUDE directive whose file is being opened names
// the position of its open failure.
void markIncludeDirective();
