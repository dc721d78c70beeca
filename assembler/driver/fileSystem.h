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
// The name under which openForReading would find name: as written, else its
// Windows spelling; false when neither exists.
bool findExistingFile(const std::string& name, std::string& found);
