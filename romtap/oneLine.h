// Values printed on one line of a report or log.
#pragma once

#include <string>
#include <string_view>

// The text with its line breaks and runs of blanks collapsed to one blank and
// none at either end.
std::string oneLine(std::string_view text);
