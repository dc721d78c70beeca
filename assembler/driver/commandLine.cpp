#include "commandLine.h"

#include "../expressions/labels.h"
#include "../scanner/numbers.h"
#include "base/AsmState.h"
#include "base/diagnostics.h"
#include "base/text.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

constexpr const char* VERSION_LINE = ORBANT_VERSION_TEXT "\n";

constexpr const char* OPTIONS_TEXT = "\n"
                                     "Options (before the source; \"--\" ends them):\n"
                                     "  -I DIR                 look for INCLUDE and INCBIN files (and IFEXIST\n"
                                     "                         names) in DIR when not found as written or next\n"
                                     "                         to the file naming them; repeatable, in order.\n"
                                     "  -D NAME[=VALUE]        define the label NAME in every pass (VALUE: a\n"
                                     "                         number in any notation, may be negative;\n"
                                     "                         default 1). Not written to the symbol file.\n"
                                     "  --diagnostics=gnu      messages as FILE:LINE: error: TEXT and\n"
                                     "                         FILE:LINE: warning: TEXT.\n"
                                     "  --warnings-as-errors, -W error\n"
                                     "                         exit with status 1 when a warning was printed.\n"
                                     "  -W error=CLASS         the same for the warnings of CLASS only.\n"
                                     "  -W no-CLASS            neither print nor count the warnings of CLASS.\n"
                                     "                         CLASS: range (operands, index, displacement and\n"
                                     "                         offset out of range), org-limit (past the last\n"
                                     "                         address of an ORG), label-changed (a label\n"
                                     "                         value changed in the last pass). -W words apply\n"
                                     "                         left to right, later words winning.\n"
                                     "  --symbols FILE         write the symbols to FILE, not orbant.sym.\n"
                                     "  --symbols-format FORM  the symbol file's form: default (NAME: equ ...),\n"
                                     "                         noice (def NAME HHHHh) or bank (00:HHHH NAME).\n"
                                     "  --temp FILE            write the flattened source to FILE, not orbant.tmp.\n"
                                     "  --listing FILE         write a listing of the final pass to FILE.\n"
                                     "  --deps FILE            after a successful run, write a make rule for the\n"
                                     "                         image to FILE.\n"
                                     "  --macros               make MACRO, ENDM, REPT, ENDR and EXITM keywords:\n"
                                     "                         macros and repeated blocks, expanded while the\n"
                                     "                         source is flattened.\n"
                                     "  -h, --help             print this text.\n"
                                     "  --version              print the version.\n"
                                     "Long options also take their value as --option=VALUE.\n";

struct DefinedLabel {
    LabelRecord* record;
    int32_t value;
};

struct CommandLineState {
    CommandLine options;
    std::vector<DefinedLabel> definedLabels;  // the -D names, entered in the table
};

CommandLineState parsedCommandLine;

[[noreturn]] void badOption(const std::string& message)
{
    std::fprintf(stderr, "orbant: %s\n", message.c_str());
    std::exit(1);
}

bool isNameStart(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')
           || std::string_view("!#?@_~").find(c) != std::string_view::npos;
}

bool isNameCharacter(char c)
{
    return isNameStart(c) || c == '.' || (c >= '0' && c <= '9');
}

// A global label name as the source language writes one.
bool isLabelName(std::string_view name)
{
    if (name.empty() || !isNameStart(name.front()))
        return false;
    for (char c : name)
        if (!isNameCharacter(c))
            return false;
    return true;
}

int32_t defineValue(std::string_view text, std::string_view argument)
{
    bool negative = !text.empty() && text.front() == '-';
    int32_t value = 0;
    if (!convertNumberLiteral(negative ? text.substr(1) : text, value))
        badOption("-D " + std::string(argument) + ": the value is not a number");
    return negative ? wrappingSubtract(0, value) : value;
}

void addDefine(std::string_view argument)
{
    std::size_t equals = argument.find('=');
    std::string_view name = argument.substr(0, equals);
    if (!isLabelName(name))
        badOption("-D " + std::string(argument) + ": not a label name");
    int32_t value = equals == std::string_view::npos ? 1 : defineValue(argument.substr(equals + 1), argument);
    for (CommandLineDefine& known : parsedCommandLine.options.defines)
        if (equalIgnoringCase(known.name, name)) {
            known.value = value;
            return;
        }
    parsedCommandLine.options.defines.push_back({std::string(name), value});
}

void setDiagnostics(std::string_view form)
{
    if (form == "gnu")
        parsedCommandLine.options.gnuDiagnostics = true;
    else if (form == "default")
        parsedCommandLine.options.gnuDiagnostics = false;
    else
        badOption("--diagnostics takes gnu or default");
}

struct WarningClassName {
    const char* name;
    WarningClass warningClass;
};

constexpr WarningClassName WARNING_CLASS_NAMES[] = {
    {"range", WarningClass::RANGE},
    {"org-limit", WarningClass::ORG_LIMIT},
    {"label-changed", WarningClass::LABEL_CHANGED},
};

void setEveryWarningClass(WarningAction action)
{
    parsedCommandLine.options.warningActions.fill(action);
}

// false when name is no class.
bool setWarningClass(std::string_view name, WarningAction action)
{
    for (const WarningClassName& known : WARNING_CLASS_NAMES)
        if (name == known.name) {
            parsedCommandLine.options.warningActions[static_cast<std::size_t>(known.warningClass)] = action;
            return true;
        }
    return false;
}

// "error", "error=CLASS" or "no-CLASS"; each word overrides what earlier
// words set for the classes it names. false for any other word.
bool applyWarningWord(std::string_view word)
{
    constexpr std::string_view ERROR_CLASS = "error=";
    constexpr std::string_view IGNORE_CLASS = "no-";
    if (word == "error") {
        setEveryWarningClass(WarningAction::ERROR);
        return true;
    }
    if (word.starts_with(ERROR_CLASS))
        return setWarningClass(word.substr(ERROR_CLASS.size()), WarningAction::ERROR);
    if (word.starts_with(IGNORE_CLASS))
        return setWarningClass(word.substr(IGNORE_CLASS.size()), WarningAction::IGNORE);
    return false;
}

void setWarnings(std::string_view word)
{
    if (!applyWarningWord(word))
        badOption("-W takes error, error=CLASS or no-CLASS, CLASS being range, org-limit or label-changed");
}

void setSymbolFormat(std::string_view form)
{
    if (form == "default")
        parsedCommandLine.options.symbolFormat = SymbolFormat::DEFAULT;
    else if (form == "noice")
        parsedCommandLine.options.symbolFormat = SymbolFormat::NOICE;
    else if (form == "bank")
        parsedCommandLine.options.symbolFormat = SymbolFormat::BANK;
    else
        badOption("--symbols-format takes default, noice or bank");
}

void setFileName(std::string& field, std::string_view name, std::string_view option)
{
    if (name.empty())
        badOption(std::string(option) + " needs a file name");
    field = name;
}

struct OptionSpec {
    const char* name;
    bool takesValue;
    void (*apply)(std::string_view value, std::string_view option);
};

constexpr OptionSpec OPTIONS[] = {
    {"-I", true,
     [](std::string_view value, std::string_view option) {
         setFileName(parsedCommandLine.options.includeDirectories.emplace_back(), value, option);
     }},
    {"-D", true, [](std::string_view value, std::string_view) { addDefine(value); }},
    {"-W", true, [](std::string_view value, std::string_view) { setWarnings(value); }},
    {"--diagnostics", true, [](std::string_view value, std::string_view) { setDiagnostics(value); }},
    {"--warnings-as-errors", false,
     [](std::string_view, std::string_view) { setEveryWarningClass(WarningAction::ERROR); }},
    {"--symbols", true,
     [](std::string_view value, std::string_view option) {
         setFileName(parsedCommandLine.options.symbolFileName, value, option);
     }},
    {"--symbols-format", true, [](std::string_view value, std::string_view) { setSymbolFormat(value); }},
    {"--temp", true,
     [](std::string_view value, std::string_view option) {
         setFileName(parsedCommandLine.options.flattenedFileName, value, option);
     }},
    {"--listing", true,
     [](std::string_view value, std::string_view option) {
         setFileName(parsedCommandLine.options.listingName, value, option);
     }},
    {"--macros", false, [](std::string_view, std::string_view) { parsedCommandLine.options.macros = true; }},
    {"--deps", true,
     [](std::string_view value, std::string_view option) {
         setFileName(parsedCommandLine.options.dependencyName, value, option);
     }},
};

// The option that argument names, with the value written into it (--opt=value)
// when it has one.
const OptionSpec* findOption(std::string_view argument, std::string_view& attachedValue, bool& attached)
{
    for (const OptionSpec& option : OPTIONS) {
        std::string_view name = option.name;
        attached = option.takesValue && name.size() > 2 && argument.size() > name.size()
                   && argument.substr(0, name.size()) == name && argument[name.size()] == '=';
        if (argument == name || attached) {
            attachedValue = attached ? argument.substr(name.size() + 1) : std::string_view();
            return &option;
        }
    }
    return nullptr;
}

// Help and version are what the run is for: a text that did not reach
// standard output (a full disk, a closed pipe) is a failure.
[[noreturn]] void exitAfterPrintedText()
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fputs("orbant: error writing to standard output\n", stderr);
        std::exit(1);
    }
    std::exit(0);
}

[[noreturn]] void printHelp()
{
    printUsage();
    std::fputs(OPTIONS_TEXT, stdout);
    exitAfterPrintedText();
}

// Takes the option at argv[index]; returns the index of the next argument,
// or 0 when argv[index] is not an option (it is the source).
int takeOption(int argc, char** argv, int index)
{
    std::string_view argument = argv[index];
    if (argument == "-h" || argument == "--help")
        printHelp();
    if (argument == "--version") {
        std::fputs(VERSION_LINE, stdout);
        exitAfterPrintedText();
    }
    std::string_view value;
    bool attached = false;
    const OptionSpec* option = findOption(argument, value, attached);
    if (!option)
        return 0;
    if (option->takesValue && !attached) {
        if (index + 1 >= argc)
            badOption(std::string(argument) + " needs a value");
        value = argv[++index];
    }
    option->apply(value, option->name);
    return index + 1;
}

}  // namespace

void parseCommandLine(int argc, char** argv)
{
    if (argc < 2)
        showUsage();
    int index = 1;
    while (index < argc) {
        if (std::string_view(argv[index]) == "--") {
            ++index;
            break;
        }
        int next = takeOption(argc, argv, index);
        if (next == 0)
            break;
        index = next;
    }
    if (index >= argc) {
        printUsage();
        std::exit(1);
    }
    parsedCommandLine.options.sourceName = argv[index];
    if (index + 1 < argc)
        parsedCommandLine.options.outputName = argv[index + 1];
}

const CommandLine& commandLine()
{
    return parsedCommandLine.options;
}

void registerCommandLineDefines()
{
    for (const CommandLineDefine& define : parsedCommandLine.options.defines) {
        LabelRecord* record = insertLabel(define.name);
        record->fromCommandLine = true;
        parsedCommandLine.definedLabels.push_back({record, define.value});
    }
}

bool commandLineDefineValue(std::string_view name, int32_t& value)
{
    for (const CommandLineDefine& define : parsedCommandLine.options.defines)
        if (equalIgnoringCase(define.name, name)) {
            value = define.value;
            return true;
        }
    return false;
}

void defineCommandLineLabels()
{
    for (const DefinedLabel& label : parsedCommandLine.definedLabels) {
        label.record->value = label.value;
        label.record->definitionPass = asmState.pass;
    }
}
