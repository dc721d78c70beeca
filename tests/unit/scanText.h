// Points the scanner at a piece of source text for in-process tests.
#pragma once

#include <string>

// Scans `text` in R800 mode in assembling pass 1 and reads its first token.
void scanText(const std::string& text);
