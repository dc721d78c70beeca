// The lines of the source files as written, for the listing and for the
// lines that messages in the GNU form show. Each file is read once.
#pragma once

#include <string>
#include <vector>

// A file read as source by this run: only such files' lines are read here
// (a name taken from a stray marker byte could name a device).
void noteSourceFile(const std::string& openedPath);
// Reads the file's lines now, unless they are kept already: a file read
// while preprocessing is shown as it was assembled.
void keepSourceLines(const std::string& openedPath);
// The file's lines (read on first use), without their line ends (nor the CR
// of a CR LF line end), up to a Ctrl-Z; none for a file not noted above.
const std::vector<std::string>& sourceLinesOf(const std::string& openedPath);
