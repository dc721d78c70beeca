// Keeping the run's files safe from its outputs: the files no output may
// overwrite, and outputs that no other run ever sees half written.
#pragma once

#include "fileSystem.h"

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

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
    // An input's identity when it was read or named: an output is checked
    // against it without looking at the input again.
    FileIdentity identity = {};
};

// An input is identified as it is noted; the other files each time an
// output is checked, as the run replaces them.
void protectFile(const std::string& name, FileRole role);
// An input read through a handle, identified by it.
void protectInput(const std::string& name, const FileIdentity& identity);
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

// An output written whole that way, in pieces, so that a long text need not
// be held whole first; put in place only when complete.
class WholeOutput {
public:
    // Refused, in the words of a failed open, when name is a protected file
    // other than the output itself (in the role `own`); false then, or when
    // it does not open, after printing why.
    bool open(const std::string& name, std::optional<FileRole> own);
    // A failed write shows when the output is finished.
    void write(std::string_view piece);
    // WRITTEN, or FAILED with errno saying why.
    WholeOutputResult finish();
    // finish for a file the run exists to make: false after printing why.
    bool finishRequested();

private:
    ReplacingOutput output;
    int failure = 0;  // errno of the first failed write
};

// Writes content as the whole of file name that way (see WholeOutput).
WholeOutputResult writeWholeOutput(const std::string& name, std::string_view content,
                                   std::optional<FileRole> own = std::nullopt);
// The same for a file the run exists to make (the listing, the make rule, in
// the role `own`): false after printing why.
bool writeRequestedOutput(const std::string& name, std::string_view content, FileRole own);
