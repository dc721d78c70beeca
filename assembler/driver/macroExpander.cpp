#include "macroExpander.h"

#include "../expressions/evaluator.h"
#include "../scanner/flattenedText.h"
#include "../scanner/numbers.h"
#include "../scanner/scanner.h"
#include "../scanner/scannerActions.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "base/AsmState.h"
#include "base/diagnostics.h"
#include "base/sourceFiles.h"
#include "base/text.h"
#include "commandLine.h"
#include "macroText.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

// Bounds on what a source can make of itself: the lines all expansions of a
// run give, and how deep calls and REPTs nest.
constexpr long long MAX_EXPANDED_LINES = 10000000;
constexpr int MAX_NESTING = 64;

enum class Word {
    NONE,
    MACRO,
    ENDM,
    REPT,
    ENDR,
    EXITM
};

Word wordOf(std::string_view name)
{
    static constexpr std::pair<std::string_view, Word> WORDS[] = {
        {"MACRO", Word::MACRO}, {"ENDM", Word::ENDM},   {"REPT", Word::REPT},
        {"ENDR", Word::ENDR},   {"EXITM", Word::EXITM},
    };
    for (const auto& [text, word] : WORDS)
        if (equalIgnoringCase(name, text))
            return word;
    return Word::NONE;
}

bool isOneOf(std::string_view name, std::initializer_list<std::string_view> words)
{
    for (std::string_view word : words)
        if (equalIgnoringCase(name, word))
            return true;
    return false;
}

// Where a statement's text stands in a source file.
struct Place {
    int segment = 0;  // index into sourceSegments()
    int line = 0;
};

struct BodyLine {
    std::string text;
    Place place;
};

// Where a statement came from: the source line the default messages name
// (the outermost call's), the steps of expansion that made it, in the form
// of the line markers (empty outside expansions), and where its text stands.
struct Origin {
    Place outer;
    std::string steps;
    Place place;
};

struct Macro {
    std::string name;                     // as defined
    std::vector<std::string> parameters;  // upper case
    std::vector<BodyLine> body;
    std::vector<std::string> locals;  // upper case: the local labels the body defines
    Place definedAt;
};

enum class BlockKind {
    MACRO,
    REPT
};

// A definition or a REPT whose body is being gathered up to its end.
struct OpenBlock {
    BlockKind kind = BlockKind::MACRO;
    Origin header;
    std::string macroName;
    std::vector<std::string> parameters;
    int32_t count = 0;
    std::vector<BlockKind> nested;  // blocks opened inside the body
    std::vector<BodyLine> body;
};

// One text being expanded: the sources, or one expansion of a body.
struct Level {
    bool inBody = false;
    std::optional<OpenBlock> open;
    int conditionalDepth = 0;  // IF blocks opened in this text and still open
};

// An EQU outside IF blocks, kept for the REPT counts that may use it.
struct Constant {
    std::string expression;
    std::string scope;                      // globalLabel where it stands, for its local names
    std::vector<std::string> dependencies;  // the full names it uses, once looked at
    bool dependenciesKnown = false;
    std::optional<int32_t> value;
};

struct ExpansionState {
    std::unordered_map<std::string, Macro> macros;        // by upper-case name
    std::unordered_map<std::string, Constant> constants;  // EQUs a REPT count may use, by upper-case name
    std::vector<std::string> active;                      // the macros being expanded, upper case
    int nesting = 0;
    long long expandedLines = 0;
    int expansions = 0;
    int conditionalDepth = 0;  // IF blocks open in the expanded text
    // The text being written: its file, its line and whether that line has a
    // statement yet, and whether the last line marker was an expanded line's.
    int segment = -1;
    int line = 1;
    bool lineHasText = false;
    bool lineExpanded = false;
};

ExpansionState expansion;

std::string stepOf(std::string_view name, const Place& place)
{
    return EXPANSION_STEP + std::string(name) + ',' + std::to_string(place.segment) + ',' + std::to_string(place.line);
}

void markPosition(const Origin& origin)
{
    asmState.lineNumber = origin.outer.line;
    markExpandedStatement(origin.outer.segment, origin.outer.line, origin.steps);
}

[[noreturn]] void reportAt(const Origin& origin, const std::string& message)
{
    markPosition(origin);
    reportError(message.c_str());
}

// Writing the expanded text.

void writeText(std::string_view text)
{
    writeFlattenedText(text.data(), text.size());
}

void writeStatement(std::string_view statement, const Origin& origin)
{
    if (!origin.steps.empty()) {
        std::string marker = '\x01' + std::to_string(origin.outer.line) + origin.steps + '\x01';
        writeText(marker);
        expansion.lineExpanded = true;
        expansion.lineHasText = false;
    } else if (expansion.lineExpanded) {
        // Back on the call's line after its expansion.
        writeLineMarker(origin.outer.line);
        expansion.lineExpanded = false;
        expansion.lineHasText = false;
    }
    if (expansion.lineHasText)
        writeText("|");
    writeText(statement);
    expansion.lineHasText = true;
}

// Constants: the values REPT counts may use. An EQU outside IF blocks is
// kept as it stands; its value is worked out when a count uses it, so that
// a fault in it is reported there or, as without macros, by the passes.

Constant* constantNamed(std::string_view name)
{
    auto known = expansion.constants.find(upperCased(name));
    return known == expansion.constants.end() ? nullptr : &known->second;
}

// For the evaluator: the current name's value, a constant's (worked out
// before) or a -D name's.
int32_t knownConstantValue()
{
    if (const Constant* constant = constantNamed(asmState.labelName))
        return constant->value.value_or(0);
    int32_t value = 0;
    commandLineDefineValue(asmState.labelName, value);
    return value;
}

[[noreturn]] void reportUnknown(const std::string& what)
{
    reportError(("REPT count not known: " + what).c_str());
}

// Scans an expression's tokens in a mode of their own, the CPU mode set
// aside, local names joined to `scope`.
class ExpressionScan {
public:
    ExpressionScan(std::string_view expression, const std::string& scope)
        : text(expression), savedMode(asmState.cpuMode), savedScope(asmState.globalLabel)
    {
        asmState.cpuMode = CPU_MODE_Z80;
        asmState.globalLabel = scope;
        restartWithText(text.c_str(), text.size());
        advanceToken();
    }
    ~ExpressionScan()
    {
        asmState.cpuMode = savedMode;
        asmState.globalLabel = savedScope;
    }
    ExpressionScan(const ExpressionScan&) = delete;
    ExpressionScan& operator=(const ExpressionScan&) = delete;

private:
    std::string text;  // ends in the NUL byte the scanner needs
    CpuMode savedMode;
    std::string savedScope;
};

bool atExpressionEnd()
{
    return asmState.curToken == TOKEN_END_OF_INPUT || asmState.curToken == TOKEN_END_OF_STATEMENT;
}

// The full names in expression; "$" and "$$" are never known.
std::vector<std::string> namesIn(std::string_view expression, const std::string& scope)
{
    std::vector<std::string> names;
    std::string position;
    {
        ExpressionScan scan(expression, scope);
        for (; !atExpressionEnd() && position.empty(); advanceToken()) {
            if (asmState.curToken == TOKEN_DOLLAR || asmState.curToken == TOKEN_DOUBLE_DOLLAR)
                position.assign(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength));
            else if (asmState.curToken == TOKEN_IDENTIFIER)
                names.emplace_back(asmState.labelName);
        }
    }
    if (!position.empty())
        reportUnknown(position);
    return names;
}

int32_t evaluateIn(std::string_view expression, const std::string& scope)
{
    ExpressionScan scan(expression, scope);
    int32_t value = evaluateWithNameValues(knownConstantValue);
    if (!atExpressionEnd())
        reportError("Illegal Text");
    return value;
}

bool isKnown(const std::string& name)
{
    int32_t value = 0;
    const Constant* constant = constantNamed(name);
    return constant ? constant->value.has_value() : commandLineDefineValue(name, value);
}

// Works out the value of each constant that names use, and of the ones
// they use in turn, without recursion: a long chain of EQUs is no deep call.
void resolveConstants(const std::vector<std::string>& names)
{
    std::vector<std::string> pending(names.rbegin(), names.rend());
    while (!pending.empty()) {
        const std::string name = pending.back();
        Constant* constant = constantNamed(name);
        int32_t value = 0;
        if (!constant && !commandLineDefineValue(name, value))
            reportUnknown(name);
        if (!constant || constant->value) {
            pending.pop_back();
            continue;
        }
        if (!constant->dependenciesKnown) {
            constant->dependenciesKnown = true;
            constant->dependencies = namesIn(constant->expression, constant->scope);
            for (const std::string& dependency : constant->dependencies)
                if (!isKnown(dependency))
                    pending.push_back(dependency);
            continue;
        }
        pending.pop_back();
        // A dependency still unknown here is one that depends on this one.
        for (const std::string& dependency : constant->dependencies)
            if (!isKnown(dependency))
                reportUnknown(dependency);
        constant->value = evaluateIn(constant->expression, constant->scope);
    }
}

void noteConstant(const StatementHead& head, std::string_view statement, const std::string& fullName)
{
    if (head.label.empty() || !equalIgnoringCase(head.first, "EQU") || expansion.conditionalDepth != 0)
        return;
    Constant constant;
    constant.expression = statement.substr(head.afterFirst);
    constant.scope = asmState.globalLabel;
    expansion.constants[upperCased(fullName)] = std::move(constant);
}

int32_t reptCount(std::string_view expression, const Origin& origin)
{
    markPosition(origin);
    resolveConstants(namesIn(expression, asmState.globalLabel));
    int32_t count = evaluateIn(expression, asmState.globalLabel);
    if (count < 0)
        reportAt(origin, "Negative REPT count");
    return count;
}

// Statements that reach the expanded text.

// Registers the statement's label definitions; the full name of the first.
std::string registerLabels(std::string_view statement)
{
    std::string first;
    for (std::string_view name : labelDefinitionsIn(statement)) {
        asmState.tokenText = const_cast<char*>(name.data());
        asmState.tokenLength = static_cast<int>(name.size()) + 1;  // with the colon
        scanLabelDefinition();
        registerLabelDefinition();
        if (first.empty())
            first = asmState.labelName;
    }
    return first;
}

void trackConditionals(const StatementHead& head, Level& level)
{
    if (isOneOf(head.first, {"IF", "IFDEF", "IFEXIST"})) {
        ++level.conditionalDepth;
        ++expansion.conditionalDepth;
    } else if (equalIgnoringCase(head.first, "ENDIF")) {
        if (level.conditionalDepth > 0)
            --level.conditionalDepth;
        if (expansion.conditionalDepth > 0)
            --expansion.conditionalDepth;
    }
}

void emitStatement(std::string_view statement, const Origin& origin, Level& level)
{
    writeStatement(statement, origin);
    StatementHead head = headOf(statement);
    std::string fullName = registerLabels(statement);
    trackConditionals(head, level);
    noteConstant(head, statement, fullName);
}

void emitLabel(std::string_view label, const Origin& origin, Level& level)
{
    if (!label.empty())
        emitStatement(std::string(label) + ':', origin, level);
}

// Expansions.

void countExpandedLine(const Origin& origin)
{
    if (++expansion.expandedLines > MAX_EXPANDED_LINES)
        reportAt(origin, "Macro expansion exceeds 10000000 lines");
}

class NestingLevel {
public:
    explicit NestingLevel(const Origin& origin)
    {
        if (++expansion.nesting > MAX_NESTING)
            reportAt(origin, "Macro nesting exceeds 64 levels");
    }
    ~NestingLevel() { --expansion.nesting; }
    NestingLevel(const NestingLevel&) = delete;
    NestingLevel& operator=(const NestingLevel&) = delete;
};

// A body's names in one expansion: parameters become their arguments and
// the body's local labels get the expansion's number.
class BodyNames : public NameReplacements {
public:
    BodyNames(const std::vector<std::string>& parameters, const std::vector<std::string>& arguments,
              const std::vector<std::string>& locals, int number)
        : parameters(parameters), arguments(arguments), locals(locals), suffix('@' + std::to_string(number))
    {
    }

    const std::string* replacementOf(std::string_view name) const override
    {
        for (std::size_t i = 0; i < parameters.size(); ++i)
            if (equalIgnoringCase(parameters[i], name))
                return &arguments[i];
        for (const std::string& local : locals)
            if (equalIgnoringCase(local, name)) {
                renamed = std::string(name) + suffix;
                return &renamed;
            }
        return nullptr;
    }

private:
    const std::vector<std::string>& parameters;
    const std::vector<std::string>& arguments;
    const std::vector<std::string>& locals;
    std::string suffix;
    mutable std::string renamed;
};

std::vector<std::string> localsDefinedIn(const std::vector<BodyLine>& body)
{
    std::vector<std::string> locals;
    for (const BodyLine& line : body)
        for (std::string_view name : labelDefinitionsIn(line.text))
            if (name[0] == '.')
                locals.push_back(upperCased(name));
    return locals;
}

bool expandText(Level& level, std::string_view text, const Origin& origin);
void closeLevel(Level& level);

// Expands body once; false when an EXITM ended it.
bool expandBody(const std::vector<BodyLine>& body, std::string_view name, const BodyNames& names, const Origin& call)
{
    Level level;
    level.inBody = true;
    bool whole = true;
    for (const BodyLine& line : body) {
        Origin origin{call.outer, call.steps + stepOf(name, line.place), line.place};
        countExpandedLine(origin);
        if (!expandText(level, replaceNames(line.text, names), origin)) {
            whole = false;
            break;
        }
    }
    closeLevel(level);
    return whole;
}

void expandCall(const Macro& macro, const std::vector<std::string>& arguments, const Origin& call)
{
    if (arguments.size() != macro.parameters.size())
        reportAt(call, "Macro " + macro.name + " expects " + std::to_string(macro.parameters.size()) + " arguments, "
                           + std::to_string(arguments.size()) + " given");
    std::string upper = upperCased(macro.name);
    for (const std::string& active : expansion.active)
        if (active == upper)
            reportAt(call, "Recursive macro " + macro.name);
    NestingLevel nesting(call);
    expansion.active.push_back(upper);
    BodyNames names(macro.parameters, arguments, macro.locals, ++expansion.expansions);
    expandBody(macro.body, macro.name, names, call);
    expansion.active.pop_back();
}

// Whether an EXITM at the body's own level ends the first repetition.
bool endsAtExitm(const std::vector<BodyLine>& body)
{
    int depth = 0;
    for (const BodyLine& line : body) {
        StatementHead head = headOf(line.text);
        Word word = wordOf(head.first);
        if (word == Word::MACRO || word == Word::REPT || wordOf(head.second) == Word::MACRO)
            ++depth;
        else if (word == Word::ENDM || word == Word::ENDR)
            --depth;
        else if (word == Word::EXITM && depth == 0)
            return true;
    }
    return false;
}

void repeat(const OpenBlock& block)
{
    if (block.count == 0 || block.body.empty())
        return;
    // Each repetition gives at least its body's lines: a count that must
    // exceed the bound is refused before any of them.
    if (!endsAtExitm(block.body)
        && static_cast<long long>(block.count) * static_cast<long long>(block.body.size())
               > MAX_EXPANDED_LINES - expansion.expandedLines)
        reportAt(block.header, "Macro expansion exceeds 10000000 lines");
    NestingLevel nesting(block.header);
    const std::vector<std::string> noParameters;
    std::vector<std::string> locals = localsDefinedIn(block.body);
    for (int32_t i = 0; i < block.count; ++i) {
        BodyNames names(noParameters, noParameters, locals, ++expansion.expansions);
        if (!expandBody(block.body, "REPT", names, block.header))
            break;
    }
}

void checkMacroName(std::string_view name, const Origin& origin)
{
    if (name.empty())
        reportAt(origin, "Macro name expected");
    if (isKeywordOfAnyMode(name) || wordOf(name) != Word::NONE || equalIgnoringCase(name, "INCLUDE"))
        reportAt(origin, "Illegal macro name " + std::string(name));
    auto known = expansion.macros.find(upperCased(name));
    if (known == expansion.macros.end())
        return;
    const Place& first = known->second.definedAt;
    const SourceSegment& segment = sourceSegments()[static_cast<std::size_t>(first.segment)];
    addMessageNote({segment.openedPath, first.line, "first definition of " + known->second.name});
    reportAt(origin, "Macro " + std::string(name) + " already defined in line " + std::to_string(first.line) + " ("
                         + segment.writtenName + ")");
}

std::vector<std::string> parametersOf(std::string_view text, std::size_t from, const Origin& origin)
{
    std::vector<std::string> parameters;
    readArguments(text, from, parameters);
    for (std::string& parameter : parameters) {
        if (parameter.empty() || nameLengthAt(parameter, 0) != parameter.size())
            reportAt(origin, "Illegal macro parameter " + parameter);
        parameter = upperCased(parameter);
    }
    for (std::size_t i = 0; i < parameters.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (parameters[i] == parameters[j])
                reportAt(origin, "Duplicate macro parameter " + parameters[i]);
    return parameters;
}

void finishBlock(Level& level)
{
    OpenBlock block = std::move(*level.open);
    level.open.reset();
    if (block.kind == BlockKind::REPT) {
        repeat(block);
        return;
    }
    Macro macro{block.macroName, std::move(block.parameters), std::move(block.body), {}, block.header.place};
    macro.locals = localsDefinedIn(macro.body);
    expansion.macros.emplace(upperCased(macro.name), std::move(macro));
}

// A statement of a body being gathered: kept, unless it ends the body.
void gather(Level& level, std::string_view statement, const StatementHead& head, const Origin& origin)
{
    OpenBlock& block = *level.open;
    Word word = wordOf(head.first);
    if (word == Word::MACRO || wordOf(head.second) == Word::MACRO) {
        block.nested.push_back(BlockKind::MACRO);
    } else if (word == Word::REPT) {
        block.nested.push_back(BlockKind::REPT);
    } else if (word == Word::ENDM || word == Word::ENDR) {
        BlockKind closes = word == Word::ENDM ? BlockKind::MACRO : BlockKind::REPT;
        BlockKind open = block.nested.empty() ? block.kind : block.nested.back();
        if (closes != open)
            reportAt(origin, closes == BlockKind::MACRO ? "ENDM without MACRO" : "ENDR without REPT");
        if (block.nested.empty())
            return finishBlock(level);
        block.nested.pop_back();
    }
    block.body.push_back({std::string(statement), origin.place});
}

void openDefinition(Level& level, const StatementHead& head, std::string_view statement, const Origin& origin)
{
    bool nameFirst = wordOf(head.second) == Word::MACRO;
    std::string_view name = nameFirst ? head.first : head.second;
    checkMacroName(name, origin);
    OpenBlock block;
    block.kind = BlockKind::MACRO;
    block.header = origin;
    block.macroName = name;
    block.parameters = parametersOf(statement, head.afterSecond, origin);
    level.open = std::move(block);
}

void openRept(Level& level, const StatementHead& head, std::string_view statement, const Origin& origin)
{
    OpenBlock block;
    block.kind = BlockKind::REPT;
    block.header = origin;
    block.count = reptCount(statement.substr(head.afterFirst), origin);
    level.open = std::move(block);
}

const Macro* macroNamed(std::string_view name)
{
    if (name.empty() || expansion.macros.empty())
        return nullptr;
    auto known = expansion.macros.find(upperCased(name));
    return known == expansion.macros.end() ? nullptr : &known->second;
}

// The statement at text[at]: gathered, acted on, expanded or written.
// Returns where it ends; exited is set by an EXITM that ends the text.
std::size_t expandStatement(Level& level, std::string_view text, std::size_t at, const Origin& origin, bool& exited)
{
    markPosition(origin);
    std::string_view rest = text.substr(at);
    StatementHead head = headOf(rest);
    Word word = wordOf(head.first);
    bool defines = word == Word::MACRO || wordOf(head.second) == Word::MACRO;
    const Macro* called = word == Word::NONE && !defines ? macroNamed(head.first) : nullptr;
    std::vector<std::string> arguments;
    std::size_t end = called ? readArguments(rest, head.afterFirst, arguments) : statementEnd(rest, 0);
    std::string_view statement = rest.substr(0, end);
    if (level.open) {
        gather(level, statement, head, origin);
        return at + end;
    }
    if (defines) {
        emitLabel(head.label, origin, level);
        openDefinition(level, head, statement, origin);
    } else if (word == Word::REPT) {
        emitLabel(head.label, origin, level);
        openRept(level, head, statement, origin);
    } else if (word == Word::ENDM) {
        reportError("ENDM without MACRO");
    } else if (word == Word::ENDR) {
        reportError("ENDR without REPT");
    } else if (word == Word::EXITM) {
        if (!level.inBody)
            reportError("EXITM without MACRO");
        if (level.conditionalDepth > 0)
            reportError("EXITM inside IF");
        exited = true;
    } else if (called) {
        emitLabel(head.label, origin, level);
        expandCall(*called, arguments, origin);
    } else {
        emitStatement(statement, origin, level);
    }
    return at + end;
}

// The statements of text; false when an EXITM ended the text's level.
bool expandText(Level& level, std::string_view text, const Origin& origin)
{
    std::size_t at = 0;
    for (;;) {
        bool exited = false;
        std::size_t end = expandStatement(level, text, at, origin, exited);
        if (exited)
            return false;
        if (end >= text.size())
            return true;
        at = end + 1;
    }
}

void closeLevel(Level& level)
{
    if (!level.open)
        return;
    const OpenBlock& block = *level.open;
    reportAt(block.header, block.kind == BlockKind::MACRO ? "MACRO without ENDM" : "REPT without ENDR");
}

// The markers of the flattened text, copied as they are.

std::size_t copyFileMarker(const std::string& flattened, std::size_t at, Level& sources)
{
    std::size_t end = flattened.find('\x02', at + 1);
    end = end == std::string::npos ? flattened.size() : end + 1;
    int next = expansion.segment + 1;
    const std::vector<SourceSegment>& segments = sourceSegments();
    bool known = next < static_cast<int>(segments.size());
    if (sources.open) {
        // A body ends in the file it began in.
        Place here{expansion.segment, expansion.line};
        if (known && !segments[static_cast<std::size_t>(next)].resumesIncluder)
            reportAt(Origin{here, {}, here},
                     sources.open->kind == BlockKind::MACRO ? "INCLUDE inside MACRO" : "INCLUDE inside REPT");
        closeLevel(sources);
    }
    writeText(std::string_view(flattened).substr(at, end - at));
    if (known) {
        expansion.segment = next;
        const SourceSegment& segment = segments[static_cast<std::size_t>(next)];
        setSourceName(segment.writtenName.c_str());
        if (segment.resumesIncluder)
            expansion.line = segment.firstLine;
    }
    expansion.lineHasText = false;
    expansion.lineExpanded = false;
    return end;
}

std::size_t copyLineMarker(const std::string& flattened, std::size_t at)
{
    std::size_t end = flattened.find('\x01', at + 1);
    end = end == std::string::npos ? flattened.size() : end + 1;
    // A stray marker byte of the source may stand before any run of digits:
    // the number wraps as the passes read it.
    std::size_t digits = at + 1;
    while (digits < end && flattened[digits] >= '0' && flattened[digits] <= '9')
        ++digits;
    expansion.line = convertDecimal(flattened.data() + at + 1, static_cast<int>(digits - at - 1));
    writeText(std::string_view(flattened).substr(at, end - at));
    expansion.lineHasText = false;
    expansion.lineExpanded = false;
    return end;
}

}  // namespace

void prepareMacroExpansion()
{
    ruleActions.labelsDeferred = true;
    holdFlattenedText();
    enableExpansionMarkers();
}

void expandMacros()
{
    ruleActions.labelsDeferred = false;
    const std::string flattened = takeFlattenedText();
    Level sources;
    std::size_t at = 0;
    while (at < flattened.size()) {
        if (flattened[at] == '\x02') {
            at = copyFileMarker(flattened, at, sources);
        } else if (flattened[at] == '\x01') {
            at = copyLineMarker(flattened, at);
        } else {
            std::size_t end = std::min(flattened.find_first_of("\x01\x02", at), flattened.size());
            Place place{expansion.segment, expansion.line};
            expandText(sources, std::string_view(flattened).substr(at, end - at), Origin{place, {}, place});
            at = end;
        }
    }
    closeLevel(sources);
}
