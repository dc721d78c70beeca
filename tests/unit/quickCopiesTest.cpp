// The copies and scans that take several bytes at once must give what the
// byte-at-a-time forms give.
#include "driver/base/appendBuffer.h"
#include "scanner/plainText.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

// Bytes of every kind that ends or continues plain text, blanks most of all.
std::string randomLine(std::mt19937& random)
{
    static const std::string alphabet = "ab,(+)0 \t;{\"':\n\x01\x80 ";
    std::string line;
    const std::size_t length = random() % 40;
    for (std::size_t i = 0; i < length; ++i)
        line += alphabet[random() % alphabet.size()];
    return line;
}

// As a source text holds a line: a NUL byte and the slack after it.
std::vector<unsigned char> asSourceText(const std::string& text)
{
    std::vector<unsigned char> bytes(text.begin(), text.end());
    bytes.resize(text.size() + 1 + 32, 0xAA);
    bytes[text.size()] = 0;
    return bytes;
}

TEST(PlainText, EndsWhereTheByteAtATimeScanEnds)
{
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        const std::string line = "x" + randomLine(random);
        const std::vector<unsigned char> text = asSourceText(line);
        EXPECT_EQ(plainTextEndByBytes(text.data()) - text.data(), plainTextEnd(text.data()) - text.data())
            << "in " << testing::PrintToString(line);
    }
}

TEST(PlainText, WordsAcrossSixteenByteBlocks)
{
    for (std::size_t blank = 1; blank < 40; ++blank)
        for (const char* after : {"b", " b", "\tb", ";b", ""}) {
            std::string line(blank, 'a');
            line += std::string(" ") + after;
            const std::vector<unsigned char> text = asSourceText(line);
            EXPECT_EQ(plainTextEndByBytes(text.data()) - text.data(), plainTextEnd(text.data()) - text.data())
                << "in " << testing::PrintToString(line);
        }
}

TEST(AppendBuffer, KeepsEveryElementOfShortAndLongAppends)
{
    AppendBuffer<uint16_t, 4> buffer;
    std::vector<uint16_t> expected;
    uint16_t items[64];
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        // Most appends are short; some pass the quick count; some are single.
        const std::size_t count = round % 7 == 0 ? random() % 64 : random() % 5;
        for (std::size_t i = 0; i < 64; ++i)
            items[i] = static_cast<uint16_t>(random());
        if (round % 11 == 0) {
            buffer.push_back(items[0]);
            expected.push_back(items[0]);
        } else {
            buffer.append(items, count);
            expected.insert(expected.end(), items, items + count);
        }
        if (round == 100)
            buffer.reserve(buffer.size() + 3);
    }
    ASSERT_EQ(expected.size(), buffer.size());
    EXPECT_EQ(expected, std::vector<uint16_t>(buffer.data(), buffer.data() + buffer.size()));
}

}  // namespace
