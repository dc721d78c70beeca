#include "platformDescriptors.h"
#include "platformSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace platform {

void failWritesPastFileSizeLimit()
{
    signal(SIGXFSZ, SIG_IGN);
}

namespace {

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t interruptionNoted = 0;

extern "C" void noteInterruption(int signalNumber)
{
    interruptionNoted = signalNumber;
}

}  // namespace

void deferInterruptions()
{
    struct sigaction action = {};
    action.sa_handler = noteInterruption;
    // Once: the next one takes the default action. The library's own calls
    // go on as if nothing had come.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : INTERRUPTIONS) {
        struct sigaction previous;
        if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN)
            sigaction(signalNumber, &action, nullptr);
    }
}

int notedInterruption()
{
    return interruptionNoted;
}

std::string interruptionName(int interruption)
{
    switch (interruption) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    }
    return "signal " + std::to_string(interruption);
}

void resumeInterruptions()
{
    for (int signalNumber : INTERRUPTIONS) {
        struct sigaction current;
        if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == noteInterruption)
            signal(signalNumber, SIG_DFL);
    }
    if (const int interruption = interruptionNoted) {
        std::fflush(stdout);
        signal(interruption, SIG_DFL);
        raise(interruption);
        _exit(128 + interruption);
    }
}

void sleepMilliseconds(unsigned milliseconds)
{
    timespec remaining{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    // Resume after a signal interrupts the sleep.
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

bool isClosed(int descriptor)
{
    return fcntl(descriptor, F_GETFD) == -1 && errno == EBADF;
}

// Descriptors 0 to 2 are checked in order, so the lowest free number, which
// open takes, is this one.
bool openNullDeviceOn(int descriptor)
{
    return open("/dev/null", O_RDWR) == descriptor;
}

// Opened without waiting, so that a FIFO without a reader is an error
// rather than a hang; then blocking again, so that one write takes the record.
AppendOnlyFile::AppendOnlyFile(const char* path)
{
    const int file = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (file < 0) {
        error_ = std::strerror(errno);
        return;
    }
    const int flags = fcntl(file, F_GETFL);
    if (flags == -1 || fcntl(file, F_SETFL, flags & ~O_NONBLOCK) == -1) {
        error_ = std::strerror(errno);
        close(file);
        return;
    }
    handle_ = file;
    opened_ = true;
}

AppendOnlyFile::~AppendOnlyFile()
{
    if (isOpen())
        close(static_cast<int>(handle_));
}

// A record written in part (a full disk, a file-size limit) is cut off
// again, unless another run has appended since, so that the next record
// starts on a line of its own.
bool AppendOnlyFile::append(const std::string& text)
{
    const int file = static_cast<int>(handle_);
    struct stat before {};
    const bool sized = fstat(file, &before) == 0;
    errno = 0;
    const ssize_t written = write(file, text.data(), text.size());
    if (written == static_cast<ssize_t>(text.size()))
        return true;
    error_ = written < 0 ? std::strerror(errno) : "only part of the record was written";
    struct stat after {};
    if (written > 0 && sized && fstat(file, &after) == 0 && after.st_size == before.st_size + written
        && ftruncate(file, before.st_size) != 0)
        error_ += "; the part written stays";
    return false;
}

const char* standardStreamWritingTo(const char* name)
{
    struct stat file {};
    if (stat(name, &file) != 0 || !S_ISREG(file.st_mode))
        return nullptr;
    for (int descriptor : {STDOUT_FILENO, STDERR_FILENO}) {
        struct stat stream {};
        if (fstat(descriptor, &stream) == 0 && stream.st_dev == file.st_dev && stream.st_ino == file.st_ino)
            return descriptor == STDOUT_FILENO ? "standard output" : "standard error";
    }
    return nullptr;
}

bool isSameFile(const char* first, const char* second)
{
    struct stat firstStatus {
    }, secondStatus{};
    return stat(first, &firstStatus) == 0 && stat(second, &secondStatus) == 0
           && firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}

}  // namespace platform
