// The text of macro definitions, calls and repeated blocks as the flattened
// source holds it (comments gone, blanks single, strings whole): statements,
// names, arguments, label definitions and the replacement of names.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The start of a statement: an optional label definition, then the first
// two names (each empty when there is none).
struct StatementHead {
    std::string_view label;   // the name of a label definition, without its colon
    std::string_view first;   // the first name after it
    std::string_view second;  // the name after the first, a blank between them
    std::size_t afterLabel = 0;
    std::size_t afterFirst = 0;
    std::size_t afterSecond = 0;
};

StatementHead headOf(std::string_view statement);

// The length of the name at text[at]; 0 when none starts there.
std::size_t nameLengthAt(std::string_view text, std::size_t at);

// Where the statement that starts at `from` ends: its "|" or the text's end.
std::size_t statementEnd(std::string_view text, std::size_t from);

// A call's arguments, read from `from`: each the text up to the next ","
// outside parentheses and strings, blanks around it removed, or the text
// between "<" and its matching ">". Returns where the call's statement ends.
std::size_t readArguments(std::string_view text, std::size_t from, std::vector<std::string>& arguments);

// The names of the label definitions in text, in order, as preprocessing
// finds them.
std::vector<std::string_view> labelDefinitionsIn(std::string_view text);

// What replaces a whole name in a body: its argument, or a local label's
// name in this expansion.
class NameReplacements {
public:
    virtual ~NameReplacements() = default;
    // nullptr: the name stays.
    virtual const std::string* replacementOf(std::string_view name) const = 0;
};

// text with every whole name outside strings and character constants that
// has a replacement replaced.
std::string replaceNames(std::string_view text, const NameReplacements& replacements);

// Upper case, for names compared without regard to case.
std::string upperCased(std::string_view name);
