// Inputs that are no ordinary files: files under /proc, whose reported size
// is not their length, binary includes larger than the run keeps (up to
// gigabytes), and a flattened text that would grow without bound.
#include "processRunner.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readWhole(const char* name)
{
    std::ifstream stream(name, std::ios::binary);
    std::ostringstream content;
    content << stream.rdbuf();
    return content.str();
}

// The system reports a size of 0 for /proc/version; INCBIN takes what it reads.
TEST(SpecialFiles, BinaryIncludeReadsToTheEnd)
{
    const char* name = "/proc/version";
    std::string expected = readWhole(name);
    if (expected.size() < 8)
        GTEST_SKIP() << name << " cannot be read here";
    ScratchDirectory directory;
    directory.writeFile("main.asm", std::string(" INCBIN \"") + name + "\"\n INCBIN \"" + name + "\",2,5\n HALT\n");
    RunResult result = runOrbant(directory, {"main.asm"});
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string image;
    directory.readFile("orbant.out", image);
    EXPECT_EQ(expected + expected.substr(2, 5) + "\x76", image);
}

// Writes text over the file's bytes from offset on.
void writeAt(const std::filesystem::path& name, std::uintmax_t offset, const std::string& text)
{
    std::fstream stream(name, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekp(static_cast<std::streamoff>(offset));
    stream << text;
}

// A file of `size` bytes, zero but for its first and last four.
void writeLargeFile(const std::filesystem::path& name, std::uintmax_t size, const std::string& first,
                    const std::string& last)
{
    {
        std::ofstream stream(name, std::ios::binary);
        stream << first;
    }
    std::filesystem::resize_file(name, size);
    writeAt(name, size - last.size(), last);
}

// Binary includes are kept for the run up to 64 MiB in all; a file beyond
// that is read again in each pass and gives the same bytes.
TEST(SpecialFiles, BinaryIncludesBeyondWhatIsKept)
{
    constexpr std::uintmax_t SIZE = std::uintmax_t{40} << 20;
    ScratchDirectory directory;
    writeLargeFile(directory.path() / "a.bin", SIZE, "A0A1", "A2A3");
    writeLargeFile(directory.path() / "b.bin", SIZE, "B0B1", "B2B3");
    directory.writeFile("main.asm", "SIZE: EQU 40*1024*1024\n INCBIN \"a.bin\",SIZE-4\n INCBIN \"b.bin\",SIZE-4\n"
                                    " INCBIN \"b.bin\",0,later\n INCBIN \"a.bin\",0,later\nlater: EQU 4\n");
    RunResult result = runOrbant(directory, {"main.asm"});
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string image;
    directory.readFile("orbant.out", image);
    EXPECT_EQ("A2A3B2B3B0B1A0A1", image);
}

// A slice of a file of gigabytes (a disk image, say) is read where it lies,
// in every pass, with the same bytes as a slice of a small file.
TEST(SpecialFiles, SliceOfAFileOfGigabytes)
{
    constexpr std::uintmax_t SIZE = (std::uintmax_t{2} << 30) + 16;
    ScratchDirectory directory;
    const std::filesystem::path name = directory.path() / "disk.img";
    writeLargeFile(name, SIZE, "D0D1", "D2D3");
    writeAt(name, 0x7FFFFFF8, "FARBYTES");
    directory.writeFile("main.asm", " INCBIN \"disk.img\",7FFFFFF8H,later\n INCBIN \"disk.img\",2,2\n"
                                    " INCBIN \"disk.img\",0,2\nlater: EQU 8\n");
    RunResult result = runOrbant(directory, {"main.asm"});
    ASSERT_EQ(0, result.status) << result.standardError;
    std::string image;
    directory.readFile("orbant.out", image);
    EXPECT_EQ("FARBYTESD1D0", image);
}

// Each include of the same 1 MiB file is no recursion, but together they
// would flatten to more than the text may hold.
TEST(SpecialFiles, FlattenedTextStopsAt256Mebibytes)
{
    constexpr std::size_t ONE_MIB = 1 << 20;
    ScratchDirectory directory;
    std::string line = std::string(1023, 'x') + "\n";
    std::string block;
    while (block.size() < ONE_MIB)
        block += line;
    directory.writeFile("block.asm", block);
    std::string source;
    for (int i = 0; i < 300; ++i)
        source += " INCLUDE \"block.asm\"\n";
    directory.writeFile("main.asm", source);
    RunResult result = runOrbant(directory, {"main.asm"});
    EXPECT_EQ(1, result.status);
    std::string message = normaliseConsole(result.standardError);
    EXPECT_EQ(0u, message.find("Syntax Error in line ")) << message;
    EXPECT_NE(std::string::npos, message.find(" (block.asm): Flattened source exceeds 256 MiB\nExiting...")) << message;
    std::uintmax_t written = std::filesystem::file_size(directory.path() / "orbant.tmp");
    EXPECT_GT(written, 255 * ONE_MIB);
    EXPECT_LE(written, 256 * ONE_MIB);
}

}  // namespace
