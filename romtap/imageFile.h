// The ROM image being written. A failure fails the run (RunFailure) with
// "Error writing ROM file!" and, on a second line, the file's name and the
// reason.
#pragma once

#include <cstddef>
#include <cstdio>

class ImageFile {
public:
    // Creates the file, or empties it (binary, for reading and writing).
    explicit ImageFile(const char* name);
    // Closes a file that a failure left open; what was appended stays.
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    // Flushed at once, so that a full disk shows at the block that hit it.
    void append(const unsigned char* bytes, std::size_t size);
    void close();

    // For a name refused before the file is touched; reason completes "NAME: ".
    [[noreturn]] static void refuse(const char* name, const char* reason);

private:
    [[noreturn]] void fail(int error);

    const char* name_;
    std::FILE* file_;
};
