// INCLUDE as the scanner carries it out while preprocessing: the including
// text is set aside, with its name and line, while the included file is
// scanned; when that ends, the scanner goes back to the including text where
// it stopped, with the file marker that says so. Preprocessing decides
// whether a file may be included (its name, recursion, depth, the files it
// refuses) and where each file starts in the flattened text.
#pragma once

#include "../driver/base/fileSystem.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Preprocessing starts on the main source, sourceName, the file mainSource:
// the one open text.
void startIncludedTexts(const FileIdentity& mainSource);
// How many included files are open.
std::size_t includeDepth();
// Whether file is open: the main source or an included file not yet ended,
// however either was named (a name may lead to another file from another
// folder, and another name to the same file).
bool isFileOpen(const FileIdentity& file);

// Opening an included text, in two steps around preprocessing's own work:
// sets the current text aside, scanned up to the INCLUDE, with sourceName
// and lineNumber, and makes name, the file `file`, the source name;
void setIncluderAside(const std::string& name, const FileIdentity& file);
// then scans the rest of stream, of reportedSize (see readSourceText), read
// whole now, as the included text.
void scanIncludedText(FILE* stream, std::int64_t reportedSize);

// The end of a text: back in the text that included it, where it stopped;
// false at the end of the main source. The scanner calls it.
bool resumeIncluder();
