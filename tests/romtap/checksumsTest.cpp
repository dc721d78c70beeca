// romtap's CRC32 and SHA-1 against published test vectors, and against
// Python's zlib and hashlib for every length across SHA-1's padding bounds.
#include "checksums.h"

#include "commandRunner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

namespace {

struct Vector {
    std::string text;
    std::uint32_t crc32;
    const char* sha1;
};

const Vector VECTORS[] = {
    {"", 0x00000000u, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"abc", 0x352441C2u, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"123456789", 0xCBF43926u, "f7c3bc1d808e04732adf679965ccc34ca7ae3441"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 0x171A3F5Fu,
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"The quick brown fox jumps over the lazy dog", 0x414FA339u, "2fd4e1c67a2d28fced849ee1bb76e7391b93eb12"},
    {std::string(1000000, 'a'), 0xDC25BFBCu, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
};

const unsigned char* bytesOf(const std::string& text)
{
    return reinterpret_cast<const unsigned char*>(text.data());
}

class ChecksumVectorTest : public testing::TestWithParam<Vector> {};

TEST_P(ChecksumVectorTest, MatchesThePublishedValue)
{
    Crc32 crc;
    Sha1 sha1;
    crc.update(bytesOf(GetParam().text), GetParam().text.size());
    sha1.update(bytesOf(GetParam().text), GetParam().text.size());
    EXPECT_EQ(crc.value(), GetParam().crc32);
    EXPECT_EQ(toHex(sha1.digest()), GetParam().sha1);
}

TEST_P(ChecksumVectorTest, GivesTheSameInPiecesOfAnySize)
{
    const std::string& text = GetParam().text;
    for (std::size_t piece : {1, 7, 63, 64, 65}) {
        Crc32 crc;
        Sha1 sha1;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            const std::size_t size = std::min(piece, text.size() - at);
            crc.update(bytesOf(text) + at, size);
            sha1.update(bytesOf(text) + at, size);
        }
        EXPECT_EQ(crc.value(), GetParam().crc32) << "pieces of " << piece;
        EXPECT_EQ(toHex(sha1.digest()), GetParam().sha1) << "pieces of " << piece;
    }
}

INSTANTIATE_TEST_SUITE_P(Published, ChecksumVectorTest, testing::ValuesIn(VECTORS));

// Every prefix of 200 varied bytes: lengths 55, 56, 63, 64, 119 and 120 are
// where SHA-1's padding needs one more block or none.
TEST(ChecksumPrefixTest, AgreesWithPythonForEveryLengthUpTo200)
{
    const ScratchDirectory workDir;
    std::string data;
    for (int index = 0; index < 200; ++index)
        data += static_cast<char>((index * 73 + 41) & 0xFF);
    workDir.writeFile("data.bin", data);
    const std::string script
        = "import hashlib, sys, zlib\n"
          "data = open(sys.argv[1], 'rb').read()\n"
          "for n in range(len(data) + 1): print('%08x' % zlib.crc32(data[:n]), hashlib.sha1(data[:n]).hexdigest())\n";
    const RunResult python = runCommand(workDir, {"python3", "-c", script, "data.bin"});
    ASSERT_EQ(python.status, 0) << "python3 is needed to check the checksums: " << python.standardError;
    std::istringstream expected(python.standardOutput);
    Crc32 crc;
    Sha1 sha1;
    for (std::size_t length = 0; length <= data.size(); ++length) {
        std::string crcText, sha1Text;
        ASSERT_TRUE(expected >> crcText >> sha1Text) << "python3 gave too few lines";
        EXPECT_EQ(toHex(crc.value()), crcText) << "length " << length;
        EXPECT_EQ(toHex(sha1.digest()), sha1Text) << "length " << length;
        if (length < data.size()) {
            crc.update(bytesOf(data) + length, 1);
            sha1.update(bytesOf(data) + length, 1);
        }
    }
}

}  // namespace
