// Opening files; the one place that knows about the platform's file API.
#pragma once

#include <cstdio>
#include <string>

// Every file is opened in binary mode: line ends are handled by the source
// reader, so that all platforms read and write the same bytes.
FILE* openForReading(const char* name);
FILE* openForWriting(const char* name);       // created or emptied
FILE* openForUpdate(const char* name);        // existing, read and write
bool fileExists(const char* name);
// Whether both names lead to one existing file.
bool sameFile(const std::string& left, const std::string& right);
// Writes content to a new file beside name and then puts it in place of name
// in one step, so that name never holds part of it. False with errno set.
bool replaceWholeFile(const std::string& name, const std::string& content);
// The name under which openForReading would find name: as written, else its
// Windows spelling; false when neither exists.
bool findExistingFile(const std::string& name, std::string& found);
