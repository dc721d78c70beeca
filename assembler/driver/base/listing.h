// The listing of the final pass: every source line with what it assembled
// to. The emit operations and the statement loop report to it; it keeps
// nothing unless a listing was asked for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

void enableListing();
// Preprocessing: the text of a file just opened, kept as it is now.
void keepListingText(const std::string& openedPath);

// A pass starts: what an earlier final pass listed is dropped.
void restartListing();

// True during a final pass of a run with a listing. The emit operations ask
// it for every byte, so it is a plain flag.
extern bool listingCaptures;
inline bool listingActive()
{
    return listingCaptures;
}

// The operations below are for when listingActive() holds.
// A statement starts on the current line.
void listStatementStart();
// Bytes written at the current address and output position.
void listEmitted(const unsigned char* bytes, std::size_t count);
// A run written at once (DS, INCBIN, the gap FORG fills): its first bytes
// and its length, written from output position `position`.
void listRun(const unsigned char* first, std::size_t firstCount, int64_t count, int64_t position);
// The statement is an EQU that gave its label value.
void listEquValue(int32_t value);
// Text skipped by a false conditional: from the current statement's line
// (exclusive) to the line being read (exclusive).
void beginUnassembled();
void endUnassembled();

// A row of the table of symbols after the listed lines.
struct ListedSymbol {
    std::string name;
    uint32_t value = 0;
    std::string place;  // "FILE:LINE" of the definition, or "<command-line>"
};

// Writes the listing to name, whole, the symbols (in the order given) after
// its lines; false after printing why not.
bool writeListing(const std::string& name, const std::vector<ListedSymbol>& symbols);
