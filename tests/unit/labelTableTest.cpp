#include "driver/AsmState.h"
#include "expressions/labels.h"

#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(LabelTableTest, SameBucketKeepsInsertionOrder)
{
    // Names that differ only in case share a bucket; find two different
    // names in one bucket by searching.
    char first[8] = "", second[8] = "";
    uint32_t bucket = hashOf("a0") & 0x3FFF;
    std::strcpy(first, "a0");
    for (int i = 1; i < 100000 && !second[0]; ++i) {
        char name[8];
        std::snprintf(name, sizeof name, "a%d", i);
        if ((hashOf(name) & 0x3FFF) == bucket)
            std::strcpy(second, name);
    }
    ASSERT_TRUE(second[0]);
    LabelRecord* a = insertLabel(first);
    LabelRecord* b = insertLabel(second);
    EXPECT_EQ(a, asmState.labelBuckets[bucket]);
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(b, findLabel(second));
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
