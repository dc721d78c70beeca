// The flattened source: the text that the preprocessing rules produce. It is
// kept in memory for the whole run, and every pass scans it there, so that
// nothing another run writes can change what this run assembles. The file
// "orbant.tmp" gets a copy as the text grows. This module builds the text,
// formats its markers, writes the file, flushes it on every way out of the
// run and closes it.
#pragma once

#include "sourceReader.h"

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

// Byte 01, a line number in decimal, byte 01, in a fixed array: a line's
// marker mostly follows the last one by one, and counting up its digits
// costs less than formatting anew.
struct LineMarker {
    unsigned lineNumber = 0;
    std::size_t length = 3;
    char text[16] = {'\x01', '0', '\x01'};
};

// The end of the text, where the preprocessing rules append a piece or two
// per line: inline, an append is a bounds check and a copy.
struct FlattenedTextEnd {
    char* text = nullptr;  // the whole text so far: text[0] to text[size - 1]
    std::size_t size = 0;
    // Text may be added up to here without growing or writing first.
    std::size_t quickLimit = 0;
    LineMarker lastMarker;  // the last line marker written
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

// A blank where blankBefore, the length bytes of text, a blank where
// blankAfter. text lies in a source text (see SourceText): most lines' text
// is copied in one block of fixed size.
inline void appendBlankedText(bool blankBefore, const char* text, std::size_t length, bool blankAfter)
{
    constexpr std::size_t BLOCK = SOURCE_TEXT_SLACK;
    if (length > BLOCK || BLOCK + 2 > flattenedTextEnd.quickLimit - flattenedTextEnd.size) {
        if (blankBefore)
            appendFlattenedText(" ", 1);
        appendFlattenedText(text, length);
        if (blankAfter)
            appendFlattenedText(" ", 1);
        return;
    }
    char* out = flattenedTextEnd.text + flattenedTextEnd.size;
    *out = ' ';
    out += blankBefore;
    std::memcpy(out, text, BLOCK);
    out += length;
    *out = ' ';
    out += blankAfter;
    flattenedTextEnd.size = static_cast<std::size_t>(out - flattenedTextEnd.text);
}

// The same as a call: a caller with many values at hand (the automaton)
// keeps its registers for them.
void writeFlattenedText(const char* text, std::size_t length);

// What writeLineMarker does but for a marker that follows the last by one
// and ends in another digit than 9.
void writeAnyLineMarker(int lineNumber);

// Byte 01, the number in decimal, byte 01.
inline void writeLineMarker(int lineNumber)
{
    LineMarker& marker = flattenedTextEnd.lastMarker;
    char& lastDigit = marker.text[marker.length - 2];
    if (static_cast<unsigned>(lineNumber) != marker.lineNumber + 1 || lastDigit == '9'
        || sizeof marker.text > flattenedTextEnd.quickLimit - flattenedTextEnd.size)
        return writeAnyLineMarker(lineNumber);
    marker.lineNumber += 1;
    ++lastDigit;
    // The whole array is copied, as a fixed size copies fastest; the size
    // grows by the marker's length.
    std::memcpy(flattenedTextEnd.text + flattenedTextEnd.size, marker.text, sizeof marker.text);
    flattenedTextEnd.size += marker.length;
}

// Byte 02, the name, byte 02.
void writeFileMarker(const char* name);

// Makes the scanner read the whole flattened source from its first byte.
void scanFlattenedSource();
