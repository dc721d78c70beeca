// Platform services other than library loading.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

void sleepMilliseconds(unsigned milliseconds);

// True when both names lead to one existing file (same volume and file
// number), however each is spelled.
bool isSameFile(const char* first, const char* second);
// "standard output" or "standard error" when name is the regular file that
// stream writes to (a shell's > or 2>), else nullptr.
const char* standardStreamWritingTo(const char* name);

// Opens the null device on whichever of descriptors 0, 1 and 2 is closed, so
// that the image file cannot take one of them and receive console text.
// False when that fails. Called before anything else.
bool openStandardStreams();

// A write past the limit on file sizes (ulimit -f) fails with "File too
// large" and ends the run as any failed write does (the reader released, the
// message printed) instead of ending it by SIGXFSZ on the spot. Nothing to
// do on Windows.
void failWritesPastFileSizeLimit();

// While the reader is bound, an interruption (SIGINT, SIGTERM or SIGHUP; on
// Windows Ctrl-C or Ctrl-Break) is noted instead of ending the run at once,
// so that the run stops between the reader's calls and releases the reader
// first; a second one ends the run on the spot. One ignored at the start
// stays ignored.
void deferInterruptions();
// The interruption noted since, 0 if none.
int notedInterruption();
// What an interruption was, for the dump log: "SIGINT", "Ctrl-C"...
std::string interruptionName(int interruption);
// Interruptions end the run at once again; one noted meanwhile ends it now,
// as it would have ended it.
void resumeInterruptions();

// A file opened for appending only, created if need be. Each append is one
// write call of the whole text, so that records of runs side by side do not
// interleave.
class AppendOnlyFile {
public:
    // When opening fails, isOpen() is false and error() says why.
    explicit AppendOnlyFile(const char* path);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    bool isOpen() const { return opened_; }
    // False, with error() saying why, unless the whole text was written.
    bool append(const std::string& text);
    const std::string& error() const { return error_; }

private:
    static constexpr std::intptr_t CLOSED = -1;
    // POSIX holds the file open from the start; Windows opens it by path_
    // for each append (see there).
    std::intptr_t handle_ = CLOSED;
    std::string path_;
    bool opened_ = false;
    std::string error_;
};

}  // namespace platform
