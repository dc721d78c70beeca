// Reading source text for the scanner.
#pragma once

#include <cstdio>
#include <string>

// The rest of stream as source text: a carriage return directly before a line
// feed is dropped, so that sources written with either line-end convention
// read the same on every platform, and a Ctrl-Z ends the text. A read error
// ends the run, and so does a text beyond MAX_SOURCE_TEXT_SIZE.
std::string readSourceText(FILE* stream);

// Sources are read whole: this bounds the memory a file that never ends (a
// device) can take.
constexpr std::size_t MAX_SOURCE_TEXT_SIZE = std::size_t{1} << 30;
