#include "sourceFiles.h"

#include "AsmState.h"
#include "sourceLines.h"

#include <cstdint>
#include <unordered_set>

namespace {

struct SourceFileState {
    std::vector<SourceSegment> segments;
    std::vector<std::string> binaryInputs;             // in order of first use
    std::unordered_set<std::string> binaryInputNames;  // the same, to find one at once
    std::vector<std::string> openPaths;                // preprocessing: the include stack's files, current last
    int markersRead = 0;                               // passes: file markers read so far in this pass
    // Expanded lines: the steps of the line being read and of the statement,
    // views of the flattened text (or of preprocessedSteps).
    std::string_view readingSteps;
    std::string_view statementSteps;
    // Where the text of an expanded line starts in the flattened text.
    const char* readingExpandedText = nullptr;
    const char* statementExpandedText = nullptr;
    std::string preprocessedSteps;
    std::vector<MessageNote> extraNotes;
};

SourceFileState provenance;

}  // namespace

ReadingState reading;

namespace {

// The segment of the marker just read; a marker that preprocessing did not
// write (a stray 02 byte in a source) is taken as written.
int segmentOfLastMarker()
{
    int index = provenance.markersRead - 1;
    if (index < 0 || index >= static_cast<int>(provenance.segments.size())
        || provenance.segments[static_cast<std::size_t>(index)].writtenName != asmState.sourceName)
        return -1;
    return index;
}

std::string pathOfSegment(int index)
{
    if (index < 0)
        return asmState.sourceName;
    return provenance.segments[static_cast<std::size_t>(index)].openedPath;
}

// The steps a line marker carries after its number, [text, text + length).
std::string_view stepsOfMarker(const char* text, int length)
{
    std::string_view marker(text, static_cast<std::size_t>(length));
    std::size_t steps = marker.find(EXPANSION_STEP);
    return steps == std::string_view::npos ? std::string_view() : marker.substr(steps);
}

// The steps are written by preprocessing as plain digits, but stray marker
// bytes of a source may imitate them: the number wraps in 32 bits, as the
// passes read line numbers, and ends at the first other byte.
int numberOf(std::string_view digits)
{
    uint32_t number = 0;
    for (char digit : digits) {
        if (digit < '0' || digit > '9')
            break;
        number = number * 10 + static_cast<uint32_t>(digit - '0');
    }
    return static_cast<int32_t>(number);
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
        if (segment >= static_cast<int>(provenance.segments.size()))
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
    int includedAt = provenance.openPaths.empty() ? 0 : asmState.lineNumber;
    provenance.segments.push_back({writtenName, openedPath, 1, false, includedAt});
    noteSourceFile(openedPath);
    provenance.openPaths.push_back(openedPath);
}

void noteFileResume(const char* writtenName, int line)
{
    provenance.openPaths.pop_back();
    provenance.segments.push_back({writtenName, provenance.openPaths.back(), line, true, 0});
}

std::string currentOpenedPath()
{
    if (asmState.pass == 0 && !provenance.openPaths.empty())
        return provenance.openPaths.back();
    return pathOfSegment(reading.inStatement ? reading.statementSegment : reading.readingSegment);
}

const std::vector<SourceSegment>& sourceSegments()
{
    return provenance.segments;
}

// Each INCBIN in every pass: a project of thousands of binary files must
// not search the list each time.
void noteBinaryInput(const std::string& openedPath)
{
    if (provenance.binaryInputNames.insert(openedPath).second)
        provenance.binaryInputs.push_back(openedPath);
}

const std::vector<std::string>& binaryInputs()
{
    return provenance.binaryInputs;
}

void restartSourceSegments()
{
    provenance.markersRead = 0;
    reading.readingSegment = -1;
    reading.resumedLine = 0;
    clearStatementStart();
}

void noteFileMarkerRead()
{
    ++provenance.markersRead;
    int index = segmentOfLastMarker();
    reading.readingSegment = index;
    bool resumes = index >= 0 && provenance.segments[static_cast<std::size_t>(index)].resumesIncluder;
    reading.resumedLine = resumes ? provenance.segments[static_cast<std::size_t>(index)].firstLine : 0;
}

void noteExpansionStepsRead()
{
    provenance.readingSteps = stepsOfMarker(asmState.tokenText, asmState.tokenLength);
    // The text follows the marker's closing byte.
    provenance.readingExpandedText
        = provenance.readingSteps.empty() ? nullptr : asmState.tokenText + asmState.tokenLength + 1;
}

std::string_view statementExpandedLine()
{
    const char* text = provenance.statementExpandedText;
    if (!text)
        return {};
    std::size_t length = 0;
    while (text[length] != '\0' && text[length] != '\x01' && text[length] != '\x02')
        ++length;
    return {text, length};
}

bool statementIsExpanded()
{
    return provenance.statementExpandedText != nullptr;
}

void enableExpansionMarkers()
{
    reading.expansionMarkers = true;
}

void markExpandedStatement(int segment, int line, std::string_view steps)
{
    reading.statementSegment = segment;
    reading.statementLine = line;
    reading.inStatement = true;
    provenance.preprocessedSteps = steps;
    provenance.statementSteps = provenance.preprocessedSteps;
}

void addMessageNote(MessageNote note)
{
    provenance.extraNotes.push_back(std::move(note));
}

void markExpandedStatementStart()
{
    provenance.statementSteps = provenance.readingSteps;
    provenance.statementExpandedText = provenance.readingExpandedText;
}

void markIncludeDirective()
{
    reading.statementSegment = static_cast<int>(provenance.segments.size()) - 1;
    reading.statementLine = asmState.lineNumber;
    reading.statementText = nullptr;
    reading.inStatement = true;
}

MessagePosition messagePosition()
{
    MessagePosition position;
    if (reading.inStatement)
        position = {pathOfSegment(reading.statementSegment), reading.statementLine, true,
                    notesOfSteps(provenance.statementSteps)};
    else
        position = {currentOpenedPath(), readingLine(), false, notesOfSteps(provenance.readingSteps)};
    position.notes.insert(position.notes.end(), provenance.extraNotes.begin(), provenance.extraNotes.end());
    return position;
}

int readingSegmentIndex()
{
    return reading.readingSegment;
}

int statementSegment()
{
    return reading.inStatement ? reading.statementSegment : -1;
}

int statementLine()
{
    return reading.statementLine;
}

const char* statementText()
{
    return reading.statementText;
}

std::string definitionPlace(int segment, int line)
{
    return pathOfSegment(segment) + ':' + std::to_string(line);
}
