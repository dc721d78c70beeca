#include "driver/AsmState.h"
#include "expressions/labels.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

uint32_t hashOf(const char* name)
{
    return labelHash(name, static_cast<int>(std::strlen(name)));
}

TEST(LabelHash, KnownVectors)
{
    EXPECT_EQ(0xBD138844u, hashOf("start"));
    EXPECT_EQ(0xBD138844u, hashOf("START"));
    EXPECT_EQ(0xBD138844u, hashOf("Start"));
    EXPECT_EQ(2116u, hashOf("start") & 0x3FFF);
    EXPECT_EQ(0x4C5A2AAAu, hashOf("main.loop"));
    EXPECT_EQ(10922u, hashOf("main.loop") & 0x3FFF);
    EXPECT_EQ(0xF88411F6u, hashOf("abcdefghijklmnop"));
    EXPECT_EQ(4598u, hashOf("abcdefghijklmnop") & 0x3FFF);
}

TEST(LabelHash, LongNamesFoldCaseToo)
{
    std::string lower(1000, 'q');
    std::string upper(1000, 'Q');
    EXPECT_EQ(labelHash(lower.c_str(), 1000), labelHash(upper.c_str(), 1000));
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
    LabelRecord* record = insertLabel("Start", 5);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ(0, record->definitionPass);
    EXPECT_EQ(record, findLabel("START", 5));
    EXPECT_EQ(record, findLabel("sTaRt", 5));
    EXPECT_STREQ("Start", record->name);
    EXPECT_EQ(nullptr, insertLabel("start", 5)) << "a duplicate";
    EXPECT_EQ(nullptr, findLabel("other", 5));
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
    LabelRecord* a = insertLabel(first, static_cast<int>(std::strlen(first)));
    LabelRecord* b = insertLabel(second, static_cast<int>(std::strlen(second)));
    EXPECT_EQ(a, asmState.labelBuckets[bucket]);
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(b, findLabel(second, static_cast<int>(std::strlen(second))));
}

TEST_F(LabelTableTest, LocalNamesJoinTheirGlobalLabel)
{
    setLabelName("main", 4);
    setGlobalLabelFromLabelName();
    char local[] = ".loop";
    asmState.tokenText = local;
    asmState.tokenLength = 5;
    joinLocalName();
    EXPECT_STREQ("main.loop", asmState.labelName);
    EXPECT_EQ(9, asmState.tokenLength);
    resetGlobalLabel();
    asmState.tokenLength = 5;
    joinLocalName();
    EXPECT_STREQ(".loop", asmState.labelName);
}

}  // namespace
