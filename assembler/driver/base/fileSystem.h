// Opening files; the one place that knows about the platform's file API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// One byte to a stream of this single-threaded program: without the lock
// that putc takes, where the system offers that (the build looks for it).
inline void putByte(unsigned char byte, FILE* stream)
{
#if HAVE_PUTC_UNLOCKED
    putc_unlocked(byte, stream);
#else
    std::putc(byte, stream);
#endif
}

// What a name stands for, to tell whether two names are the same file: its
// spelling on disk (for a file not there, compared by its folder and name)
// and, for an existing file, its device and number (on Windows the volume
// serial number and file index).
struct FileIdentity {
    bool numbered = false;
    std::uint64_t device = 0;
    std::uint64_t number = 0;
    std::string spelling;  // the name as found on disk
};

FileIdentity identifyFile(const char* name);
// Two files that exist are the same when their numbers are; a file that
// exists is never one that does not; two that do not are the same when their
// names resolve to one.
bool isSameFile(const FileIdentity& left, const FileIdentity& right);

// What the handle a file was opened through says of it.
struct OpenedFile {
    FileIdentity identity;   // numbered where the system has numbers
    std::int64_t size = -1;  // as the system reports it; -1 where it does not
};

// Every file is opened in binary mode: line ends are handled by the source
// reader, so that all platforms read and write the same bytes.
// Only a regular file is opened for reading: anything else is refused,
// without waiting, and a folder with the system's reason. opened, when
// given, gets what the handle says of the file.
FILE* openForReading(const char* name, OpenedFile* opened = nullptr);
// Reads at most count bytes of stream's file into bytes, past the stream's
// buffer, of which nothing may have been read: the count read, 0 at the end,
// -1 when the read fails (errno says why).
std::int64_t readDirectly(FILE* stream, char* bytes, std::size_t count);
// Moves the position of stream's file, past the stream's buffer, of which
// nothing may have been read, to offset bytes from its start; false when the
// system refuses (errno says why).
bool seekDirectly(FILE* stream, std::int64_t offset);
// The size the system reports for stream's regular file; -1 where it does not.
std::int64_t reportedSize(FILE* stream);
// Reading a file whole in as few reads as the system allows: each read asks
// for one byte more than the size still expected, so that the read that gets
// the last bytes also finds the end; where no size is known, block bytes.
std::size_t nextReadSize(std::int64_t reported, std::int64_t read, std::size_t block);
// Whether a read of a regular file that asked for asked bytes and got got,
// read bytes in with them, reached its end: a short read that completes the
// reported size.
bool readReachedEnd(std::int64_t reported, std::int64_t read, std::size_t asked, std::size_t got);

FILE* openForWriting(const char* name);  // created or emptied
FILE* openForUpdate(const char* name);   // existing, read and write
// A regular file that opens; anything but a folder that exists and may be
// read, decided without opening it. True also where several files match the
// name only without regard to case.
bool fileExists(const char* name);
// Why the last open failed: the system's text, why the file was refused, or
// which files matched a name that differs from several of them only in
// letter case.
const char* openFailureReason();

// Opens the null device on whichever of descriptors 0, 1 and 2 is closed, so
// that no file opened later takes one of them and receives console text.
// False when that fails. Called before anything else.
bool openStandardStreams();
// The name under which openForReading would find name: as written, else its
// Windows spelling; false when neither exists.
bool findExistingFile(const std::string& name, std::string& found);
// Whether the last findExistingFile failed because several files match the
// name without regard to case.
bool lastLookupAmbiguous();

// Whether name exists and may be read, asked without opening it.
bool isReadable(const char* name);

// Replacing a file in one step, so that no other process ever sees it half
// written: the new content goes to a private file beside it, which is then
// renamed over it.
//
// True when name is a regular file that may be written, or is absent and
// would be created under that very name.
bool isReplaceableInOneStep(const char* name);
// Creates a new, empty file beside name, under a name no other process
// uses, with the permissions name has; nullptr when the folder refuses.
FILE* createPrivateFileBeside(const char* name, std::string& privateName);
// Renames privateName to name, replacing it; false with errno set.
bool replaceFileWith(const char* name, const char* privateName);
void removePrivateFile(const char* privateName);
// Removes the private files still on disk: for a run that ends with an error
// between creating one and putting it in place (out of memory, say).
void removeLeftPrivateFiles();

// From here on, an interrupted run removes the private files it has on disk
// before it ends as the interruption would end it: on POSIX for SIGINT,
// SIGTERM, SIGHUP, SIGQUIT and SIGPIPE (unless started with the signal
// ignored), after which
// the signal is raised again with its default action; on Windows for Ctrl-C,
// Ctrl-Break and the console's closing, with status 0xC000013A.
void removePrivateFilesWhenInterrupted();
// From here on, a write past the limit on file sizes (ulimit -f) fails with
// "File too large" and is reported as any failed write is (its private file
// removed, status 1) instead of ending the run by SIGXFSZ, which would leave
// the private file and a partial output behind. Nothing to do on Windows.
void failWritesPastFileSizeLimit();
