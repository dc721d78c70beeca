// The flattened source: the text that the preprocessing rules produce. It is
// kept in memory for the whole run, and every pass scans it there, so that
// nothing another run writes can change what this run assembles. The file
// "orbant.tmp" gets a copy as the text grows. This module builds the text,
// formats its markers, writes the file, flushes it on every way out of the
// run and closes it.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

// Starts the text and the file, whose stream becomes flattenedFile; false after
// printing the open failure. Where the name allows, the file is private to
// the run until it is closed, also by an error exit: only then does it take
// the name, whole.
bool openFlattenedFile(const char* name);
// Hands everything to the file, closes it and puts it in place; a failed
// write ends the run.
void closeFlattenedFile();
// Closes the file without putting it in place: the name keeps what it had
// (unless the file was written under its name directly).
void abandonFlattenedFile();

// Keeps the text from the file until takeFlattenedText: a text that will be
// replaced whole (by its expansion) never reaches it.
void holdFlattenedText();
// The text made so far, handed over; the text starts afresh, written as it
// grows again.
std::string takeFlattenedText();

// The end of the text, where the preprocessing rules append a piece or two
// per line: inline, an append is a bounds check and a copy.
struct FlattenedTextEnd {
    char* text = nullptr;  // the whole text so far: text[0] to text[size - 1]
    std::size_t size = 0;
    // Text may be added up to here without growing or writing first.
    std::size_t quickLimit = 0;
};

extern FlattenedTextEnd flattenedTextEnd;

// What the appends below do beyond the quick limit.
void appendAndWrite(const char* text, std::size_t length);

// Appends text: inline, for the code that copies a whole line.
inline void appendFlattenedText(const char* text, std::size_t length)
{
    if (length > flattenedTextEnd.quickLimit - flattenedTextEnd.size) {
        appendAndWrite(text, length);
        return;
    }
    std::memcpy(flattenedTextEnd.text + flattenedTextEnd.size, text, length);
    flattenedTextEnd.size += length;
}

// The same as a call: a caller with many values at hand (the automaton)
// keeps its registers for them.
void writeFlattenedText(const char* text, std::size_t length);

// Byte 01, the number in decimal, byte 01.
void writeLineMarker(int lineNumber);

// Byte 02, the name, byte 02.
void writeFileMarker(const char* name);

// Makes the scanner read the whole flattened source from its first byte.
void scanFlattenedSource();
