// Finding the files that INCLUDE, INCBIN and IFEXIST name where they are not
// as written: next to the naming file, then in the -I folders.
#pragma once

#include <string>
#include <vector>

void setIncludeDirectories(std::vector<std::string> directories);

// The path to open for a name that a directive of the current file wrote: as
// written (or its Windows spelling), else next to the naming file, else in
// each include directory in order. When nothing is found, the name as written.
std::string locateInput(const std::string& written);
// The same for INCBIN, whose data are kept for the run: a name found once is
// found there again in the passes after, without a look-up.
std::string locateBinaryInput(const std::string& written);
// IFEXIST "name": the lookup above once an include directory is given.
bool inputExists(const std::string& written);
