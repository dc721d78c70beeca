// romtap-testrom SIZE FILE: writes a made-up cartridge image of SIZE bytes.
#include "testRom.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr unsigned long LARGEST_IMAGE = 4ul * 1024 * 1024;

bool parseSize(const char* text, unsigned long& size)
{
    char* end = nullptr;
    errno = 0;
    size = std::strtoul(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && text[0] != '-' && size > 0 && size <= LARGEST_IMAGE;
}

}  // namespace

int main(int argc, char** argv)
{
    unsigned long size = 0;
    if (argc != 3 || !parseSize(argv[1], size)) {
        std::fprintf(stderr, "usage: romtap-testrom SIZE FILE (SIZE in bytes, 1 to %lu)\n", LARGEST_IMAGE);
        return 1;
    }
    const auto image = simreader::makeTestRom(size);
    std::FILE* file = std::fopen(argv[2], "wb");
    if (file == nullptr || std::fwrite(image.data(), 1, image.size(), file) != image.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "romtap-testrom: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
