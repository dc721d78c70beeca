// The software database against the real one where it is installed (every
// dump counted, entries taken from the file found by their SHA-1), and the
// nesting guard that protects the XML parser's stack against markup that
// hides closing tags or opening ones; the quoting of the log's values.
#include "softwareDatabase.h"
#include "oneLine.h"
#include "xmlNesting.h"

#include <gtest/gtest.h>
#include <rapidxml.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* const REAL_DATABASE = "/usr/share/openmsx/softwaredb.xml";

std::string readText(const char* path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

std::string upperCase(std::string text)
{
    for (char& character : text)
        character = static_cast<char>(std::toupper(static_cast<unsigned char>(character)));
    return text;
}

class RealDatabase : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(REAL_DATABASE))
            GTEST_SKIP() << REAL_DATABASE << " is not installed (Debian: openmsx-data)";
        text = readText(REAL_DATABASE);
    }

    // The software entry whose dumps include this one, read with a regular expression.
    struct Taken {
        std::string title, year, type, hash;
    };

    Taken take(const std::regex& dumpPattern) const
    {
        std::smatch dump;
        EXPECT_TRUE(std::regex_search(text, dump, dumpPattern));
        const std::string before = text.substr(0, static_cast<std::size_t>(dump.position(0)));
        const std::size_t software = before.rfind("<software>");
        const std::string entry = text.substr(software, static_cast<std::size_t>(dump.position(0)) - software);
        std::smatch title, year;
        std::regex_search(entry, title, std::regex("<title>([^<]*)</title>"));
        std::regex_search(entry, year, std::regex("<year>([^<]*)</year>"));
        return {title[1], year[1], dump[1], dump[2]};
    }

    std::string text;
};

TEST_F(RealDatabase, HoldsEveryDumpOfTheFile)
{
    const SoftwareDatabase database = SoftwareDatabase::load(REAL_DATABASE);
    std::size_t hashes = 0;
    for (std::size_t at = text.find("<hash>"); at != std::string::npos; at = text.find("<hash>", at + 1))
        ++hashes;
    EXPECT_GT(hashes, 6000u);
    EXPECT_EQ(hashes, database.dumpCount());
}

TEST_F(RealDatabase, FindsEntriesTakenFromItBySha1)
{
    const SoftwareDatabase database = SoftwareDatabase::load(REAL_DATABASE);
    // A bank-switched dump, and a plain one whose type follows its start address.
    for (const char* pattern : {"<megarom><type>(KonamiSCC)</type><hash>([0-9a-f]{40})</hash>",
                                "<rom><start>0x[0-9A-F]+</start><type>(Normal)</type><hash>([0-9a-f]{40})</hash>"}) {
        const Taken taken = take(std::regex(pattern));
        const KnownDump* found = database.find(upperCase(taken.hash));
        ASSERT_NE(nullptr, found) << taken.hash;
        EXPECT_EQ(taken.hash, found->sha1);
        EXPECT_EQ(taken.title, found->title);
        EXPECT_EQ(taken.year, found->year);
        EXPECT_EQ(taken.type, found->mapperType);
    }
    EXPECT_EQ(nullptr, database.find("0000000000000000000000000000000000000000"));
}

TEST(XmlNesting, CountsOpenElementsOnly)
{
    EXPECT_EQ(0u, deepestNesting("no markup"));
    EXPECT_EQ(1u, deepestNesting("<a/><b></b>"));
    EXPECT_EQ(3u, deepestNesting("<a><b><c/><c></c></b><b x='1'/></a>"));
}

// Closing tags that the parser does not read as such must not lower the count.
TEST(XmlNesting, SeesNoClosingTagsInsideOtherMarkup)
{
    EXPECT_EQ(3u, deepestNesting("<a><!-- </a> --><b><c>"));
    EXPECT_EQ(3u, deepestNesting("<a><![CDATA[ </a> ]]><b><c>"));
    EXPECT_EQ(3u, deepestNesting("<a><?pi </a> ?><b><c>"));
    EXPECT_EQ(3u, deepestNesting("<a x=\"/>\" y='</a>'><b><c>"));
    EXPECT_EQ(2u, deepestNesting("<!DOCTYPE d [ <!ELEMENT a (b)> ]><a><b>"));
}

// A "<!" that is no document type ends at its first ">", as the parser reads it.
TEST(XmlNesting, EndsOtherDeclarationsAtTheirFirstBracket)
{
    EXPECT_EQ(2u, deepestNesting("<!x [> <a><b> ]>"));
}

int deepestElementBelow(const rapidxml::xml_node<char>& node)
{
    int deepest = 0;
    for (const rapidxml::xml_node<char>* child = node.first_node(); child != nullptr; child = child->next_sibling())
        if (child->type() == rapidxml::node_element)
            deepest = std::max(deepest, 1 + deepestElementBelow(*child));
    return deepest;
}

// The depth of the deepest element the parser builds from text, or -1
// where it refuses the text.
int parsedDepth(std::string text)
{
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<rapidxml::parse_default>(text.data());
    } catch (const rapidxml::parse_error&) {
        return -1;
    }
    return deepestElementBelow(*document);
}

// Quotes open quoted text only where the parser reads an attribute's value:
// elsewhere in a start tag they are part of a name.
TEST(XmlNesting, ReadsStartTagsAsTheParserDoes)
{
    for (const char* text : {"<a\"><b><c></c></b></a\">", "<a\"'><b>'><c></c></b></a>",
                             "<a \"x\"='1'><b x = \"y\"z='w'><c></c></b></a>", "<a<b><c/><c><d></d></c></a<b>"}) {
        EXPECT_EQ(3, parsedDepth(text)) << text;
        EXPECT_EQ(3u, deepestNesting(text)) << text;
    }
}

// A start tag the parser refuses ends its reading: nothing after it nests.
TEST(XmlNesting, StopsWhereTheParserStops)
{
    for (const char* text :
         {"<a><b x><c><d>", "<a><b x=1><c><d>", "<a><b x='1><c><d>", "<a><b/ ><c><d>", "<a>< b><c><d>"}) {
        EXPECT_EQ(-1, parsedDepth(text)) << text;
        EXPECT_EQ(1u, deepestNesting(text)) << text;
    }
}

// What the parser took beyond the node block it starts with: it takes more
// only for more elements than that block holds, far more than the limit.
std::size_t bytesPastFirstBlock = 0;

void* countingAllocate(std::size_t size)
{
    bytesPastFirstBlock += size;
    return ::operator new(size);
}

void countingFree(void* block)
{
    ::operator delete(block);
}

// Random markup before a run of elements nested far deeper than the limit:
// where the count stays within the limit, the parser must not read the run
// as nested elements, which would take it past its first node block.
TEST(XmlNesting, HostileMarkupTakesTheParserNoDeeperThanCounted)
{
    const std::vector<std::string> pieces
        = {"<a", "<b x=\"1\"", "<c y='2'",   "\"",  "'",  ">",   "/>", "</a>", "</b", "<!--", "-->", "<![CDATA[", "]]>",
           "<?", "?>",         "<!DOCTYPE ", "<!x", "[",  "]",   " ",  "\t",   "=",   "z",    "<",   "/",         "!",
           "?",  "\n",         "&amp;",      "<a>", "</", "a\"", "b'", "x='>'"};
    constexpr std::size_t LIMIT = 256;
    std::string deepRun;
    for (std::size_t level = 0; level < 8 * LIMIT; ++level)
        deepRun += "<a>";
    std::mt19937 random(26);
    const auto soup = [&](unsigned most) {
        std::string text;
        for (unsigned count = random() % most + 1; count > 0; --count)
            text += pieces[random() % pieces.size()];
        return text;
    };
    int parsed = 0;
    for (int round = 0; round < 2000; ++round) {
        const std::string before = soup(16);
        std::string text = before + deepRun + soup(4);
        if (deepestNesting(text.c_str()) > LIMIT)
            continue;
        ++parsed;
        bytesPastFirstBlock = 0;
        auto document = std::make_unique<rapidxml::xml_document<char>>();
        document->set_allocator(countingAllocate, countingFree);
        try {
            document->parse<rapidxml::parse_default>(text.data());
        } catch (const rapidxml::parse_error&) {
        }
        ASSERT_EQ(0u, bytesPastFirstBlock) << "markup before the run: " << before;
    }
    EXPECT_GT(parsed, 100);
}

TEST(XmlNesting, UnterminatedMarkupNestsNothing)
{
    EXPECT_EQ(1u, deepestNesting("<a><b x='"));
    EXPECT_EQ(1u, deepestNesting("<a><!-- <b>"));
}

// A value is quoted only where it would not stay on its line or could be
// taken for a quoted one; Windows paths keep their backslashes.
TEST(LogValues, QuotedOnlyWhereNeeded)
{
    const std::pair<std::string, std::string> rows[] = {
        {"game.rom", "game.rom"},
        {"C:\\roms\\game.rom", "C:\\roms\\game.rom"},
        {"", ""},
        {"a \"b\".rom", "a \"b\".rom"},
        {"\"b\".rom", "\"\\\"b\\\".rom\""},
        {"C:\\new\nline", "\"C:\\\\new\\nline\""},
        {std::string("a\rb\x01\x7F\tc", 7), "\"a\\rb\\x01\\x7F\\tc\""},
        {std::string("nul\0", 4), "\"nul\\x00\""},
    };
    for (const auto& [value, written] : rows)
        EXPECT_EQ(written, quotedWhereNeeded(value)) << value;
}

}  // namespace
