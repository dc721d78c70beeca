// Reading source text for the scanner.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>

// Bytes allocated after a source text's NUL byte, whatever they hold: a
// piece of its text may be copied in a block of fixed size, which is quicker
// than a copy of the piece's own length.
constexpr std::size_t SOURCE_TEXT_SLACK = 32;

// A source text in memory: size bytes, then a NUL byte, then at least
// SOURCE_TEXT_SLACK bytes. Its memory is not set before the text is read
// into it, as that would cost as much as the read, and is kept for the next
// text read into it.
struct SourceText {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::size_t capacity = 0;  // the bytes allocated, the NUL byte's included

    std::string_view view() const { return {bytes.get(), size}; }
};

// Replaces text by the rest of stream as source text (read past the stream's
// buffer, of which nothing may have been read): a carriage return
// directly before a line feed is dropped, so that sources written with either
// line-end convention read the same on every platform, and a Ctrl-Z ends the
// text. A read error ends the run, and so does a text beyond
// MAX_SOURCE_TEXT_SIZE. reportedSize is the stream's size as the system
// reported it when the file was opened (reportedSize()), -1 where it did not:
// a file of known size is read in one read.
void readSourceText(FILE* stream, std::int64_t reportedSize, SourceText& text);

// Sources are read whole: this bounds the memory a file that never ends (a
// device) can take.
constexpr std::size_t MAX_SOURCE_TEXT_SIZE = std::size_t{1} << 30;
