#include "imageFile.h"

#include "consoleOutput.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

const char* reasonFor(int error)
{
    return error != 0 ? std::strerror(error) : "unknown error";
}

}  // namespace

ImageFile::ImageFile(const char* name) : name_(name)
{
    // Opened for reading and writing, a FIFO would take the image into its
    // buffer and lose it, or block once that is full.
    std::error_code error;
    if (std::filesystem::status(name, error).type() == std::filesystem::file_type::fifo)
        refuse(name, "a FIFO does not keep the image");
    errno = 0;
    file_ = std::fopen(name, "w+b");
    if (file_ == nullptr)
        refuse(name, reasonFor(errno));
}

ImageFile::~ImageFile()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

void ImageFile::append(const unsigned char* bytes, std::size_t size)
{
    errno = 0;
    if (std::fwrite(bytes, 1, size, file_) != size || std::fflush(file_) != 0)
        fail(errno);
}

void ImageFile::close()
{
    errno = 0;
    const int result = std::fclose(file_);
    file_ = nullptr;
    if (result != 0)
        fail(errno);
}

void ImageFile::refuse(const char* name, const char* reason)
{
    dieWithMessage(std::string("Error writing ROM file!\n") + name + ": " + reason);
}

// Called in the middle of the progress line.
void ImageFile::fail(int error)
{
    dieOnNewLine("Error writing ROM file!\n", std::string(name_) + ": " + reasonFor(error));
}
