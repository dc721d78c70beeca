// The preprocessing pass: flattens the main source and its includes into
// the flattened text and registers every label definition.
#pragma once

// Opens sourceName for reading into inputFile; prints the failure.
bool openSource();
// The same for the file at path; the message names sourceName.
bool openSourceAt(const char* path);
void preprocessSource();
