// Output files and the emit operations.
#pragma once

#include "fileSystem.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Each stores its stream in outputFile; false after printing the failure.
bool openOutput(const char* name);
bool openOutputForUpdate(const char* name);
// Closes outputFile; a failed write (a full disk) ends the run with status 1.
void closeOutput();

void emitByte(int32_t value);
void emitWord(int32_t value);
// Emits count (> 0) bytes of value; out of range it warns once, not per byte.
void emitFill(int32_t value, int32_t count);
// Emits the current string token.
void emitText();

// Final pass: moves the write position of outputFile to position (>= 0),
// appending 00 bytes when it lies past the end of the file.
void moveOutputPosition(int32_t position);

// An output that no other run ever sees half written. Where its name is a
// regular file or absent, it is written to a private file beside it, which
// is put in place in one step when finished; any other name (a link, a
// device, a folder), or a folder that refuses new files, is written
// directly, with the messages of any output.
struct ReplacingOutput {
    std::string name;
    std::string privateName;  // empty when the name itself is written
    FILE* stream = nullptr;
};

// false after printing the open failure.
bool openReplacing(ReplacingOutput& output, const char* name);
// Closes the stream and puts the file in place, even after a failed write,
// as a file written directly would stay; false when a write, the close or
// the renaming failed (errno says why).
bool finishReplacing(ReplacingOutput& output);
// Closes the stream; a private file is removed, so the name keeps what it
// had. errno is kept.
void abandonReplacing(ReplacingOutput& output);
// Writes content as the whole of file name that way, put in place only when
// complete; false after printing the open failure, or when writing failed
// (errno says why).
bool writeWholeOutput(const char* name, std::string_view content);

// Files that no output of the run may overwrite: its inputs (the main
// source, every included file, every file an INCBIN of the flattened text
// names), the flattened source and the symbol file.
struct ProtectedFile {
    std::string name;
    const char* role;  // one of the roles below, for the message
    FileIdentity identity;
};

constexpr const char* INPUT_ROLE = "input";
constexpr const char* FLATTENED_SOURCE_ROLE = "flattened source";
constexpr const char* SYMBOL_FILE_ROLE = "symbol file";

void protectFile(const char* name, const char* role);
// The protected file that writing name would overwrite; nullptr when none.
const ProtectedFile* protectedFileAt(const char* name);
// "Output NAME is the same file as the ROLE NAME" and the error exit.
[[noreturn]] void refuseOverwriting(const char* name, const ProtectedFile& file);
// Ends the run that way when writing name would overwrite a protected file.
void requireNotProtected(const char* name);
