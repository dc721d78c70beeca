// Values printed on one line of a report or log.
#pragma once

#include <string>
#include <string_view>

// The text with its line breaks and runs of blanks collapsed to one blank and
// none at either end.
std::string oneLine(std::string_view text);

// The text as it is, unless it holds a control character (a line end in a
// file name, say) or begins with a double quote: then in double quotes, with
// \\, \", \n, \r, \t and \xHH escapes, so that the value stays on its line
// and can be read back exactly.
std::string quotedWhereNeeded(std::string_view text);
