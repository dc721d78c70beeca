#include "sourceFiles.h"

#include "AsmState.h"
#include "sourceLines.h"

#include <algorithm>

namespace {

struct SourceFileState {
    std::vector<SourceSegment> segments;
    std::vector<std::string> binaryInputs;
    std::vector<std::string> openPaths;  // preprocessing: the include stack's files, current last
    int markersRead = 0;                 // passes: file markers read so far in this pass
    int readingSegment = -1;             // passes: the segment of the last marker read
    // Back in an including file, the line number stays the included file's
    // until the next line marker: the line of the INCLUDE stands in.
    int resumedLine = 0;
    int statementSegment = -1;
    int statementLine = 0;
    const char* statementText = nullptr;  // its first token's text, where it was scanned
    bool inStatement = false;
    // Expanded lines: the steps of the line being read and of the statement,
    // views of the flattened text (or of preprocessedSteps).
    bool expansionMarkers = false;
    std::string_view readingSteps;
    std::string_view statementSteps;
    // Where the text of an expanded line starts in the flattened text.
    const char* readingExpandedText = nullptr;
    const char* statementExpandedText = nullptr;
    std::string preprocessedSteps;
    std::vector<MessageNote> extraNotes;
};

SourceFileState files;

// The segment of the marker just read; a marker that preprocessing did not
// write (a stray 02 byte in a source) is taken as written.
int segmentOfLastMarker()
{
    int index = files.markersRead - 1;
    if (index < 0 || index >= static_cast<int>(files.segments.size())
        || files.segments[static_cast<std::size_t>(index)].writtenName != asmState.sourceName)
        return -1;
    return index;
}

std::string pathOfSegment(int index)
{
    if (index < 0)
        return asmState.sourceName;
    return files.segments[static_cast<std::size_t>(index)].openedPath;
}

// The steps a line marker carries after its number, [text, text + length).
std::string_view stepsOfMarker(const char* text, int length)
{
    std::string_view marker(text, static_cast<std::size_t>(length));
    std::size_t steps = marker.find(EXPANSION_STEP);
    return steps == std::string_view::npos ? std::string_view() : marker.substr(steps);
}

// The steps are written by preprocessing: their numbers are plain digits.
int numberOf(std::string_view digits)
{
    int number = 0;
    for (char digit : digits)
        number = number * 10 + (digit - '0');
    return number;
}

// "in macro NAME" (or "in REPT") at each step's line, innermost first.
std::vector<MessageNote> notesOfSteps(std::string_view steps)
{
    std::vector<MessageNote> notes;
    while (!steps.empty()) {
        std::size_t start = steps.rfind(EXPANSION_STEP);
        std::string_view step = steps.substr(start + 1);
        steps = steps.substr(0, start);
        std::size_t firstComma = step.find(',');
        std::size_t secondComma = step.find(',', firstComma + 1);
        if (secondComma == std::string_view::npos)
            continue;
        std::string_view name = step.substr(0, firstComma);
        int segment = numberOf(step.substr(firstComma + 1, secondComma - firstComma - 1));
        if (segment >= static_cast<int>(files.segments.size()))
            segment = -1;
        int line = numberOf(step.substr(secondComma + 1));
        std::string text = name == "REPT" ? "in REPT" : "in macro " + std::string(name);
        notes.push_back({pathOfSegment(segment), line, text});
    }
    return notes;
}

}  // namespace

void noteFileStart(const char* writtenName, const std::string& openedPath)
{
    int includedAt = files.openPaths.empty() ? 0 : asmState.lineNumber;
    files.segments.push_back({writtenName, openedPath, 1, false, includedAt});
    noteSourceFile(openedPath);
    files.openPaths.push_back(openedPath);
}

void noteFileResume(const char* writtenName, int line)
{
    files.openPaths.pop_back();
    files.segments.push_back({writtenName, files.openPaths.back(), line, true, 0});
}

std::string currentOpenedPath()
{
    if (asmState.pass == 0 && !files.openPaths.empty())
        return files.openPaths.back();
    return pathOfSegment(files.inStatement ? files.statementSegment : files.readingSegment);
}

const std::vector<SourceSegment>& sourceSegments()
{
    return files.segments;
}

void noteBinaryInput(const std::string& openedPath)
{
    if (std::find(files.binaryInputs.begin(), files.binaryInputs.end(), openedPath) == files.binaryInputs.end())
        files.binaryInputs.push_back(openedPath);
}

const std::vector<std::string>& binaryInputs()
{
    return files.binaryInputs;
}

void restartSourceSegments()
{
    files.markersRead = 0;
    files.readingSegment = -1;
    files.resumedLine = 0;
    clearStatementStart();
}

void noteFileMarkerRead()
{
    ++files.markersRead;
    int index = segmentOfLastMarker();
    files.readingSegment = index;
    bool resumes = index >= 0 && files.segments[static_cast<std::size_t>(index)].resumesIncluder;
    files.resumedLine = resumes ? files.segments[static_cast<std::size_t>(index)].firstLine : 0;
}

void noteLineMarkerRead()
{
    files.resumedLine = 0;
    if (!files.expansionMarkers)
        return;
    files.readingSteps = stepsOfMarker(asmState.tokenText, asmState.tokenLength);
    // The text follows the marker's closing byte.
    files.readingExpandedText = files.readingSteps.empty() ? nullptr : asmState.tokenText + asmState.tokenLength + 1;
}

std::string_view statementExpandedLine()
{
    const char* text = files.statementExpandedText;
    if (!text)
        return {};
    std::size_t length = 0;
    while (text[length] != '\0' && text[length] != '\x01' && text[length] != '\x02')
        ++length;
    return {text, length};
}

bool statementIsExpanded()
{
    return files.statementExpandedText != nullptr;
}

void enableExpansionMarkers()
{
    files.expansionMarkers = true;
}

void markExpandedStatement(int segment, int line, std::string_view steps)
{
    files.statementSegment = segment;
    files.statementLine = line;
    files.inStatement = true;
    files.preprocessedSteps = steps;
    files.statementSteps = files.preprocessedSteps;
}

void addMessageNote(MessageNote note)
{
    files.extraNotes.push_back(std::move(note));
}

int readingLine()
{
    return files.resumedLine != 0 ? files.resumedLine : asmState.lineNumber;
}

void markStatementStart()
{
    files.statementSegment = files.readingSegment;
    files.statementLine = readingLine();
    files.statementText = asmState.tokenText;
    files.inStatement = true;
    if (files.expansionMarkers) {
        files.statementSteps = files.readingSteps;
        files.statementExpandedText = files.readingExpandedText;
    }
}

void clearStatementStart()
{
    files.inStatement = false;
}

void markIncludeDirective()
{
    files.statementSegment = static_cast<int>(files.segments.size()) - 1;
    files.statementLine = asmState.lineNumber;
    files.statementText = nullptr;
    files.inStatement = true;
}

MessagePosition messagePosition()
{
    MessagePosition position;
    if (files.inStatement)
        position
            = {pathOfSegment(files.statementSegment), files.statementLine, true, notesOfSteps(files.statementSteps)};
    else
        position = {currentOpenedPath(), readingLine(), false, notesOfSteps(files.readingSteps)};
    position.notes.insert(position.notes.end(), files.extraNotes.begin(), files.extraNotes.end());
    return position;
}

int readingSegmentIndex()
{
    return files.readingSegment;
}

int statementSegment()
{
    return files.inStatement ? files.statementSegment : -1;
}

int statementLine()
{
    return files.statementLine;
}

const char* statementText()
{
    return files.statementText;
}

std::string definitionPlace(int segment, int line)
{
    return pathOfSegment(segment) + ':' + std::to_string(line);
}
