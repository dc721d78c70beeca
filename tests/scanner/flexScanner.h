// The former flex scanner, kept as a reference for the re2c scanner, with the
// buffer handling the preprocessing pass and the passes gave it.
#pragma once

#include <cstdio>
#include <string>

int flexNextToken();
// Scans stream from its next unread byte; a string or comment left open ends.
void flexRestartInput(FILE* stream);
// An included file: read through a buffer of its own.
void flexStartFile(FILE* stream);
// Deletes the current buffer and returns the text it held that was not yet
// scanned.
std::string flexReleaseCurrentBuffer();
// Replaces the current buffer by a new one on stream that first delivers text.
void flexResumeWithText(FILE* stream, std::string text);
// Called whenever the current text is exhausted: true when the hook made
// another buffer current and scanning goes on (an include returning to its
// parent); without a hook, or when it answers false, the input has ended.
void flexSetEndOfInputHook(bool (*resumeAfterEnd)());
