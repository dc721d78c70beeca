#include "driver/base/AsmState.h"
#include "expressions/labels.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

uint32_t hashOf(const char* name)
{
    return labelHash(name);
}

TEST(LabelHash, KnownVectors)
{
    EXPECT_EQ(0xBD138844u, hashOf("start"));
    EXPECT_EQ(0xBD138844u, hashOf("START"));
    EXPECT_EQ(0xBD138844u, hashOf("Start"));
    EXPECT_EQ(0x4C5A2AAAu, hashOf("main.loop"));
    EXPECT_EQ(0xF88411F6u, hashOf("abcdefghijklmnop"));
    EXPECT_EQ(0x71A86118u, hashOf("a0"));
    EXPECT_EQ(0x4E3C6118u, hashOf("a28209"));
}

// Every way a name can end within its last twelve-byte block, from none
// left (0, 12, 24 bytes) to eleven; each name also hashes alike in the
// other case.
TEST(LabelHash, EveryLengthOfTheLastBlock)
{
    const std::pair<std::string, uint32_t> vectors[] = {
        {"", 0xAD9A0439u},
        {"x", 0xFD3C1A1Cu},
        {"Q.z", 0x2AC58B19u},
        {"ab_C", 0xAEE16BC5u},
        {"Seven_7", 0x1BC75312u},
        {"eightCh8", 0xC51934F5u},
        {"eleven_Ch11", 0xEDE9D17Cu},
        {"Twelve_Ch_12", 0x9E496273u},
        {"thirteen_c_13", 0xB3794C38u},
        {"twenty_three_characters", 0x89467DD7u},
        {"Twenty_four_characters_!", 0xBB34FC1Eu},
        {"\xe4\xc4z", 0x0833B0F7u},
    };
    for (const auto& [name, hash] : vectors) {
        EXPECT_EQ(hash, labelHash(name)) << name;
        std::string swapped = name;
        for (char& c : swapped)
            if (std::isalpha(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
                c = static_cast<char>(c ^ 0x20);
        EXPECT_EQ(hash, labelHash(swapped)) << swapped;
    }
}

// Only the name's own bytes count: a view into a longer text hashes as the
// name alone would.
TEST(LabelHash, ReadsNoBytePastTheName)
{
    const std::string text = "Twelve_Ch_12_and_more_text";
    for (std::size_t length = 0; length <= 24; ++length)
        EXPECT_EQ(labelHash(std::string(text, 0, length)), labelHash(std::string_view(text).substr(0, length)))
            << length;
}

TEST(LabelHash, LongNamesFoldCaseToo)
{
    std::string lower(1000, 'q');
    std::string upper(1000, 'Q');
    EXPECT_EQ(labelHash(lower), labelHash(upper));
    // Only a to z change: the bytes above 7F are not letters.
    EXPECT_NE(hashOf("\xe4"), hashOf("\xc4"));
}

class LabelTableTest : public testing::Test {
protected:
    void SetUp() override
    {
        clearLabels();
        asmState.pass = 0;
    }
};

TEST_F(LabelTableTest, InsertFindsWithoutRegardToCase)
{
    LabelRecord* record = insertLabel("Start");
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(0, record->definitionPass);
    EXPECT_EQ(record, findLabel("START"));
    EXPECT_EQ(record, findLabel("sTaRt"));
    EXPECT_EQ("Start", record->name);
    EXPECT_EQ(nullptr, insertLabel("start")) << "a duplicate";
    EXPECT_EQ(nullptr, findLabel("other"));
}

// The bucket is the low 14 bits of the hash: the symbol file's order.
TEST_F(LabelTableTest, RecordsStandInTheBucketOfTheirHash)
{
    LabelRecord* start = insertLabel("start");
    LabelRecord* local = insertLabel("main.loop");
    LabelRecord* longName = insertLabel("abcdefghijklmnop");
    EXPECT_EQ(start, asmState.labelBuckets[2116]);
    EXPECT_EQ(local, asmState.labelBuckets[10922]);
    EXPECT_EQ(longName, asmState.labelBuckets[4598]);
}

// "a0" and "a28209" differ in their hashes but not in the low 14 bits (2118H).
TEST_F(LabelTableTest, SameBucketKeepsInsertionOrder)
{
    LabelRecord* first = insertLabel("a0");
    LabelRecord* second = insertLabel("a28209");
    EXPECT_EQ(first, asmState.labelBuckets[8472]);
    EXPECT_EQ(second, first->next);
    EXPECT_EQ(second, findLabel("a28209"));
}

// Past the index's first size and several doublings: every name is still
// found, a duplicate in another case is still refused, and the buckets keep
// each name in the order it came (the symbol file's order).
TEST_F(LabelTableTest, ManyLabelsStayFoundAndInBucketOrder)
{
    constexpr int COUNT = 50000;
    std::vector<LabelRecord*> records;
    for (int i = 0; i < COUNT; ++i)
        records.push_back(insertLabel("label" + std::to_string(i)));
    for (int i = 0; i < COUNT; ++i) {
        ASSERT_EQ(records[i], findLabel("LABEL" + std::to_string(i))) << i;
        ASSERT_EQ(nullptr, insertLabel("Label" + std::to_string(i))) << i;
    }
    EXPECT_EQ(nullptr, findLabel("label" + std::to_string(COUNT)));
    int chained = 0;
    for (const LabelRecord* head : asmState.labelBuckets) {
        for (const LabelRecord* record = head; record && record->next; record = record->next) {
            EXPECT_LT(std::stoi(std::string(record->name.substr(5))),
                      std::stoi(std::string(record->next->name.substr(5))));
            ++chained;
        }
    }
    EXPECT_GT(chained, 0) << "50000 names in 16384 buckets must share some";
}

// Look-ups fold case several bytes at a time, with words that overlap at
// the end of a name: a letter in any position of a name of any length up to
// past two words must match its other case.
TEST_F(LabelTableTest, EveryPositionOfEveryLengthFoldsCase)
{
    for (std::size_t length = 1; length <= 20; ++length) {
        clearLabels();
        std::string name;
        for (std::size_t i = 0; i < length; ++i)
            name += static_cast<char>('a' + (i * 7) % 26);
        LabelRecord* record = insertLabel(name);
        ASSERT_NE(nullptr, record) << name;
        for (std::size_t position = 0; position < length; ++position) {
            std::string other = name;
            other[position] = static_cast<char>(other[position] - 'a' + 'A');
            EXPECT_EQ(record, findLabel(other)) << other;
            EXPECT_EQ(nullptr, insertLabel(other)) << other;
        }
    }
}

// Bytes 20H apart that are no letter pair stay distinct names: the
// neighbours of A-Z and a-z, and bytes above 7FH.
TEST_F(LabelTableTest, OnlyLettersFoldCase)
{
    const std::pair<std::string, std::string> pairs[] = {
        {"x@", "x`"},
        {"x[", "x{"},
        {"\xc1x", "\xe1x"},
        {"abc@efg", "abc`efg"},
        {"abcdefgh[", "abcdefgh{"},
        {"label\xc1_twelve", "label\xe1_twelve"},
    };
    for (const auto& [first, second] : pairs) {
        clearLabels();
        LabelRecord* record = insertLabel(first);
        ASSERT_NE(nullptr, record) << first;
        EXPECT_EQ(nullptr, findLabel(second)) << second;
        EXPECT_NE(nullptr, insertLabel(second)) << second;
        EXPECT_EQ(record, findLabel(first)) << first;
    }
}

TEST_F(LabelTableTest, LocalNamesJoinTheirGlobalLabel)
{
    setLabelName("main", 4);
    setGlobalLabelFromLabelName();
    char local[] = ".loop";
    asmState.tokenText = local;
    asmState.tokenLength = 5;
    joinLocalName();
    EXPECT_EQ("main.loop", asmState.labelName);
    EXPECT_EQ(9, asmState.tokenLength);
    resetGlobalLabel();
    asmState.tokenLength = 5;
    joinLocalName();
    EXPECT_EQ(".loop", asmState.labelName);
}

}  // namespace

namespace {

std::string nearestName(std::string_view name)
{
    const LabelRecord* nearest = nearestLabel(name);
    return nearest ? std::string(nearest->name) : std::string("(none)");
}

}  // namespace

// At most two edits and at most a third of the name's length, letter case
// ignored; the nearest wins, then the first in bucket (symbol-file) order.
TEST_F(LabelTableTest, NearestLabelKeepsToItsLimits)
{
    for (const char* name : {"counter", "Player_X", "abc", "abcdefghi", "xy"})
        insertLabel(name);
    EXPECT_EQ("counter", nearestName("cuonter"));        // two replacements in 7 letters
    EXPECT_EQ("Player_X", nearestName("PLAYER_Y"));      // case ignored
    EXPECT_EQ("abc", nearestName("abd"));                // one edit in 3 letters
    EXPECT_EQ("(none)", nearestName("xz"));              // a third of 2 is no edit
    EXPECT_EQ("(none)", nearestName("axyde"));           // two edits in 5 letters: too many
    EXPECT_EQ("abcdefghi", nearestName("abcdefghixy"));  // two insertions
    EXPECT_EQ("(none)", nearestName("abcdefghixyz"));    // three: beyond two, whatever the length
    EXPECT_EQ("counter", nearestName("counterss"));      // deletions count as edits too
}

TEST_F(LabelTableTest, NearestLabelPrefersFewerEditsThenBucketOrder)
{
    insertLabel("shot_b");
    insertLabel("shot_a");
    insertLabel("speed12");
    insertLabel("speed1");
    EXPECT_EQ("speed1", nearestName("spxeed1"));
    // Both one edit away: the one whose bucket comes first.
    const LabelRecord* a = findLabel("shot_a");
    const LabelRecord* b = findLabel("shot_b");
    const bool aFirst
        = (labelHash("shot_a") & (LABEL_BUCKET_COUNT - 1)) < (labelHash("shot_b") & (LABEL_BUCKET_COUNT - 1));
    EXPECT_EQ(aFirst ? a : b, nearestLabel("shot_x"));
}
