#include "dependencyFile.h"

#include "base/fileSafety.h"
#include "base/fileSystem.h"
#include "base/sourceFiles.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

namespace {

// make splits words at blanks, reads "#" as a comment, "$" as a variable
// and ":" as the end of the targets.
std::string escapedForMake(const std::string& name)
{
    std::string escaped;
    for (char c : name) {
        if (c == ' ' || c == '#' || c == ':')
            escaped += '\\';
        else if (c == '$')
            escaped += '$';
        escaped += c;
    }
    return escaped;
}

// A "%" makes a target a pattern; as a prerequisite it is plain text.
std::string escapedAsTarget(const std::string& name)
{
    std::string escaped;
    for (char c : escapedForMake(name)) {
        if (c == '%')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

// What a make rule cannot hold in a name. make ends a line at a line feed
// (and a carriage return before one), a prerequisite list at ";" (the recipe
// follows), takes a rule with "=" for a variable assignment, matches no rule
// to a name with an escaped tab, and joins a final backslash to what
// follows; none of these has an escape that works everywhere.
struct Unwritable {
    bool (*holds)(std::string_view name);
    const char* reason;  // after "whose name"
};

const Unwritable UNWRITABLE[] = {
    {[](std::string_view name) { return name.find_first_of("\r\n") != std::string_view::npos; }, "holds a line end"},
    {[](std::string_view name) { return name.find(';') != std::string_view::npos; }, "holds a semicolon"},
    {[](std::string_view name) { return name.find('=') != std::string_view::npos; }, "holds an equals sign"},
    {[](std::string_view name) { return name.find('\t') != std::string_view::npos; }, "holds a tab"},
    {[](std::string_view name) { return !name.empty() && name.back() == '\\'; }, "ends in a backslash"},
};

// Why no rule can name the image and the inputs, or nullptr.
const char* unwritableRule(const std::string& imageName, const std::vector<std::string>& inputs)
{
    for (const Unwritable& kind : UNWRITABLE)
        if (kind.holds(imageName) || std::any_of(inputs.begin(), inputs.end(), kind.holds))
            return kind.reason;
    return nullptr;
}

void addOnce(std::vector<std::string>& names, const std::string& name)
{
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

std::vector<std::string> prerequisites()
{
    std::vector<std::string> inputs;
    for (const SourceSegment& segment : sourceSegments())
        addOnce(inputs, segment.openedPath);
    for (const std::string& binary : binaryInputs())
        addOnce(inputs, binary);
    return inputs;
}

std::string makeRule(const std::string& imageName, const std::vector<std::string>& inputs)
{
    std::string rule = escapedAsTarget(imageName);
    rule += ':';
    for (const std::string& input : inputs) {
        rule += ' ';
        rule += escapedForMake(input);
    }
    rule += '\n';
    for (const std::string& input : inputs) {
        rule += escapedAsTarget(input);
        rule += ":\n";
    }
    return rule;
}

// An older rule would name files this run no longer reads; make must not
// read it. Only a plain file is removed, and never one the run protects,
// which is refused as the writer would refuse it.
DependencyResult refuseRule(const std::string& name, const char* reason)
{
    if (const ProtectedFile* file = protectedFileAt(name, FileRole::MAKE_RULE)) {
        printRefusal(name, *file, RefusalWording::AS_OPEN_FAILURE);
        return DependencyResult::FAILED;
    }
    if (isReplaceableInOneStep(name.c_str()))
        std::remove(name.c_str());
    std::fprintf(stderr, "orbant: %s not written: a make rule cannot name a file whose name %s\n", name.c_str(),
                 reason);
    return DependencyResult::NOT_WRITABLE;
}

}  // namespace

DependencyResult writeDependencyFile(const std::string& name, const std::string& imageName)
{
    std::vector<std::string> inputs = prerequisites();
    if (const char* reason = unwritableRule(imageName, inputs))
        return refuseRule(name, reason);
    return writeRequestedOutput(name, makeRule(imageName, inputs), FileRole::MAKE_RULE) ? DependencyResult::WRITTEN
                                                                                        : DependencyResult::FAILED;
}
