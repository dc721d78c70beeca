// The lines below a message in the GNU form: the source line as written and
// a caret under the place the message is about.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The text the passes scan (the flattened source), into which the places of
// tokens and statements point: the text before a place on its line tells
// the place's column in the source line.
void setScannedText(const char* text, std::size_t size);

// "    LINE | TEXT" (the number right-aligned in at least four places, tabs
// expanded to 8 columns) and "         | ^" with the caret under the place:
// `at` in the scanned text, else the first occurrence of `named` in the
// line, else the line's first character that is no blank. Empty when the
// file has no such line.
std::string sourceExcerpt(const std::string& file, int line, const char* at, std::string_view named);
