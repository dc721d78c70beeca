#include "dependencyFile.h"

#include "output.h"
#include "sourceFiles.h"

#include <algorithm>
#include <vector>

namespace {

// make splits words at blanks, reads "#" as a comment and "$" as a variable.
std::string escapedForMake(const std::string& name)
{
    std::string escaped;
    for (char c : name) {
        if (c == ' ' || c == '\t' || c == '#')
            escaped += '\\';
        else if (c == '$')
            escaped += '$';
        escaped += c;
    }
    return escaped;
}

void addOnce(std::vector<std::string>& names, const std::string& name)
{
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

}  // namespace

bool writeDependencyFile(const std::string& name, const std::string& imageName)
{
    std::vector<std::string> inputs;
    for (const SourceSegment& segment : sourceSegments())
        addOnce(inputs, segment.openedPath);
    for (const std::string& binary : binaryInputs())
        addOnce(inputs, binary);
    std::string rule = escapedForMake(imageName);
    rule += ':';
    for (const std::string& input : inputs) {
        rule += ' ';
        rule += escapedForMake(input);
    }
    rule += '\n';
    return writeRequestedOutput(name, rule, FileRole::MAKE_RULE);
}
