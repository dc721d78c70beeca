// Output files and the emit operations.
#pragma once

#include "AsmState.h"
#include "fileSystem.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// No output file grows past this: far beyond any cartridge, and a guard
// against a stray huge count or position filling the disk.
constexpr int64_t OUTPUT_SIZE_LIMIT = int64_t{64} << 20;
// Ends the run when a write would reach past OUTPUT_SIZE_LIMIT.
void requireOutputEndWithinLimit(int64_t end);

// Each stores its stream in outputFile; false after printing the failure.
bool openOutput(const char* name);
bool openOutputForUpdate(const char* name);
// Closes outputFile; a failed write (a full disk) ends the run with status 1.
void closeOutput();

// The final pass's part of emitByte and emitWord: checks that the bytes stay
// within OUTPUT_SIZE_LIMIT and their value in range, writes and lists them.
void outputByte(int32_t value);
void outputWord(int32_t value);
// Inline, since the passes before the final one only count the bytes.
inline void emitByte(int32_t value)
{
    if (asmState.finalPass)
        outputByte(value);
    advancePosition(1);
}
inline void emitWord(int32_t value)
{
    if (asmState.finalPass)
        outputWord(value);
    advancePosition(2);
}

// In the final pass these, too, first check that their bytes stay within
// OUTPUT_SIZE_LIMIT.
// Emits count (> 0) bytes of value; out of range it warns once, not per byte.
void emitFill(int32_t value, int32_t count);
// Emits the current string token.
void emitText();

// Final pass: moves the write position of outputFile to position (>= 0),
// appending 00 bytes when it lies past the end of the file.
void moveOutputPosition(int32_t position);

// Files that no output of the run may overwrite: its inputs (the main
// source, every included file, every file an INCBIN of the flattened text
// names), the flattened source, the symbol file, the listing and the make
// rule. The image is named only when the listing or the make rule would
// replace it: FNAME may go back to it.
enum class FileRole {
    INPUT,
    FLATTENED_SOURCE,
    SYMBOL_FILE,
    IMAGE,
    LISTING,
    MAKE_RULE
};

struct ProtectedFile {
    std::string name;
    FileRole role;
};

void protectFile(const std::string& name, FileRole role);
// The protected file that writing name would overwrite, passing over the
// one that is that output itself (in the role `own`); nullptr when none.
const ProtectedFile* protectedFileAt(const std::string& name, std::optional<FileRole> own = std::nullopt);

// How a refusal to overwrite a protected file is worded. The run's own
// outputs say which file they would overwrite: "Output NAME is the same file
// as the input OTHER". An output named by an option says it as a failed
// open: "Error while opening NAME for writing! It is an input of this run".
enum class RefusalWording {
    NAMING_BOTH,
    AS_OPEN_FAILURE
};

void printRefusal(const std::string& name, const ProtectedFile& file, RefusalWording wording);
// Ends the run, saying so, when writing name would overwrite a protected file.
void requireNotProtected(const std::string& name, RefusalWording wording = RefusalWording::NAMING_BOTH);

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
// Closes the stream and puts the file in place; false when a write, the
// close or the renaming failed (errno says why). A private file whose
// writing failed is removed, so the name keeps what it had; a file written
// directly keeps what reached it.
bool finishReplacing(ReplacingOutput& output);
// Closes the stream; a private file is removed, so the name keeps what it
// had. errno is kept.
void abandonReplacing(ReplacingOutput& output);

enum class WholeOutputResult {
    WRITTEN,
    REFUSED,  // a protected file, or it did not open: printed
    FAILED,   // a write, the close or the renaming failed: errno says why
};

// Writes content as the whole of file name that way, put in place only when
// complete. Refused, in the words of a failed open, when name is a
// protected file other than the output itself (in the role `own`).
WholeOutputResult writeWholeOutput(const std::string& name, std::string_view content,
                                   std::optional<FileRole> own = std::nullopt);
// The same for a file the run exists to make (the listing, the make rule, in
// the role `own`): false after printing why.
bool writeRequestedOutput(const std::string& name, std::string_view content, FileRole own);
