// The re2c scanner against the flex reference: the sources of every case,
// hand-picked corners of the rules and generated token soups must give the
// same token stream, messages and flattened text in every mode.
#include "scannerDiff.h"

#include "scanner/tokens.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct NamedSource {
    std::string name;
    std::string text;
};

void expectSameScans(const std::vector<NamedSource>& sources)
{
    for (const NamedSource& source : sources) {
        std::string difference = compareScanners(source.text);
        EXPECT_EQ(difference, "") << source.name << ", source " << testing::PrintToString(source.text);
    }
}

// The "--- file NAME" sections of every orbant case.
std::vector<NamedSource> caseSources()
{
    std::vector<NamedSource> sources;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CASES_DIR)) {
        if (entry.path().extension() != ".case" || entry.path().string().find("/romtap/") != std::string::npos)
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::string line;
        NamedSource* current = nullptr;
        while (std::getline(in, line)) {
            if (line.rfind("--- ", 0) == 0) {
                current = nullptr;
                if (line.rfind("--- file ", 0) == 0) {
                    sources.push_back({entry.path().filename().string() + ": " + line.substr(9), ""});
                    current = &sources.back();
                }
            } else if (current) {
                current->text += line + "\n";
            }
        }
    }
    return sources;
}

// Corners where the two ways of scanning could part: the ends of texts and
// of included texts inside strings and comments, backing up, markers, NUL
// bytes, line ends and Ctrl-Z.
const std::vector<NamedSource> CORNERS = {
    {"string closed by the end", "db \"abc"},
    {"quote at the end", "db \""},
    {"character closed by the end", " ld a,'x"},
    {"empty string and constant", " db \"\",''"},
    {"string over lines", " db \"a\nb\" \n"},
    {"index openers", " ld a,(ix+1)\n ld a,[iy-2]\n ld ( ix ),a\n ld a,(ix\n ld a,[ IY )"},
    {"indirect forms", " ld a,( c )\n ld a,[bc]\n ld a,(de]\n ex ( sp ),hl\n ld a,[\tHL\t]"},
    {"alternate AF", " ex af,af'\n AF'x"},
    {"numbers", " db 12,12d,0Ah,$ff,0x1F,%1 0 1,101b,1 0b,17o,17q,0b,1dh,9h,$,$$,$g"},
    {"names", " .loc: glob: &name ?x @y _z ~w #v !u a.b:c"},
    {"operators", " db 1<<2>>3<>4><5<=6=<7>=8=>9 and or xor not mod"},
    {"line and file markers", "\x01"
                              "12\x01 nop\x02other.asm\x02 nop\x01"
                              "99999999999\x01\x02\x01"},
    {"marker at the end", " nop\x01"
                          "12"},
    {"NUL bytes", std::string(" db 1\0\0,2\n", 10) + std::string("\0", 1)},
    {"carriage returns", " nop\r\n nop\r\r\n\r db \"a\r\n\r"},
    {"Ctrl-Z ends the text", " nop\n\x1A nop\n"},
    {"comment chains", "; one\n  ; two\n\t;three\nnop ; four\n;"},
    {"brace comments", "{ outer { inner } still\n } nop { open\n at the end"},
    {"include names", "INCLUDE \"a|nop|\"\n include'b'\nINCLUDE \"\"\n"},
    {"include ending in a string", "INCLUDE \"db 'x\"\n nop\n"},
    {"include ending in a comment", "INCLUDE \"nop { x\"\n} nop\n"},
    {"include ending in a label", "INCLUDE \"lab:\"\n nop\n"},
    {"include ending in a quote", "INCLUDE \"db '\"\nx'\n"},
    {"nested includes", "INCLUDE \"include 'nop|'|nop\"\n"},
    {"unclosed include name", "INCLUDE \"abc\n"},
    {"duplicate labels", "a: b: a:\n"},
    {"mode words", " mulub mului ldh stop swap ld ldi ldd adc sbc in out reti sll sli im i r f p m po pe"},
    {"bytes above 127", " db \"\xC3\xA9\" \xFF\x80 \xE9t\xE9:\n"},
    // Where the tokens most lines are made of end: at the end of the text,
    // after blanks, and just short of a longer rule.
    {"name at the end", " ld a,b"},
    {"blanks at the end", " nop  "},
    {"label at the end", "here:"},
    {"number at the end", " db 12"},
    {"hex number at the end", " db 0fh"},
    {"hex digits without a suffix at the end", " db 0f"},
    {"digits before a blank", " db 1 ,2 b,3 h"},
    {"marker lengths", "\x01"
                       "123456789\x01 nop\x01"
                       "1234567890\x01 nop\x01"
                       "9999999999\x01 nop\x01\x01 nop"},
    {"markers at the end", " nop\x01"
                           "7\x01"},
    {"two-letter names before a quote", " ld a,hl'\n ex af',af\n db ab'c'\n"},
    {"a long name", " ld a," + std::string(300, 'n') + "\n" + std::string(260, 'q') + ":\n"},
    {"blanks before a stray NUL", std::string(" db 1,  \0", 10)},
};

// A random soup of the pieces the rules are made of, in random letter case.
std::string generatedSource(std::mt19937& random)
{
    static const std::vector<std::string> pieces = {
        "ld",
        "LD",
        "ldi",
        "ldh",
        "mulub",
        "ex",
        "af",
        "af'",
        "ix",
        "iy",
        "ixh",
        "(",
        ")",
        "[",
        "]",
        "(ix",
        "[iy",
        "(sp)",
        "( hl )",
        "[c]",
        "(bc",
        "+",
        "-",
        "1",
        "0",
        "12",
        "0ah",
        "$",
        "$$",
        "$1f",
        "0x",
        "%",
        "%1 0",
        "101b",
        "7q",
        "9o",
        "'",
        "\"",
        "''",
        "\"ab\"",
        "'x'",
        ",",
        ":",
        ".",
        ".l",
        "lbl:",
        "&x",
        "a",
        "b",
        "c",
        "nz",
        "p",
        "m",
        " ",
        "  ",
        "\t",
        "\n",
        "\n\n",
        "\r\n",
        "\r",
        ";",
        "; c\n",
        "{",
        "}",
        "|",
        "\x01",
        "\x01"
        "7\x01",
        "\x02",
        "\x02"
        "f\x02",
        std::string("\0", 1),
        "\x1A",
        "<",
        ">",
        "=",
        "<<",
        "><",
        "INCLUDE \"",
        "include '",
        "INCLUDE \"nop|x: db 'y\"",
        "db",
        "dc",
        "cpu",
        "if",
        "endif",
        "\xC8",
        "@",
        "~",
    };
    std::uniform_int_distribution<std::size_t> piece(0, pieces.size() - 1);
    std::uniform_int_distribution<int> length(1, 40);
    std::bernoulli_distribution upper(0.3);
    std::string text;
    for (int count = length(random); count > 0; --count) {
        std::string chosen = pieces[piece(random)];
        for (char& c : chosen)
            if (upper(random) && c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        text += chosen;
    }
    return text;
}

TEST(ScannerDifferential, RecordsWhatTellsTokensApart)
{
    ScanRecord z80 = scanWithFlex(" ld a,\"bc\"", ScanMode::Z80);
    ScanRecord gbz80 = scanWithFlex(" ld a,\"bc\"", ScanMode::GBZ80);
    EXPECT_NE(z80.events.find(std::to_string(TOKEN_LD) + " "), std::string::npos) << z80.events;
    EXPECT_NE(gbz80.events.find(std::to_string(TOKEN_GB_LD) + " "), std::string::npos) << gbz80.events;
    EXPECT_NE(z80.events.find("text 2:bc at 1 main.asm"), std::string::npos) << z80.events;
    EXPECT_NE(z80.events.find("status 0"), std::string::npos) << z80.events;

    ScanRecord flattened = scanWithRe2c("x:  nop ; comment\n", ScanMode::PREPROCESS);
    EXPECT_EQ(flattened.flattened, "x: nop \x01"
                                   "2\x01");
    ScanRecord duplicate = scanWithRe2c("x: x:", ScanMode::PREPROCESS);
    EXPECT_NE(duplicate.events.find("Duplicate label definition"), std::string::npos) << duplicate.events;
    EXPECT_NE(duplicate.events.find("status 1"), std::string::npos) << duplicate.events;
}

TEST(ScannerDifferential, FindsADifferenceBetweenScans)
{
    // The comparison itself must see a change in any part of a record.
    EXPECT_NE(scanWithRe2c(" db 1", ScanMode::Z80).events, scanWithRe2c(" db 2", ScanMode::Z80).events);
    EXPECT_NE(scanWithRe2c("\x01"
                           "5\x01",
                           ScanMode::Z80)
                  .events,
              scanWithRe2c("\x01"
                           "6\x01",
                           ScanMode::Z80)
                  .events);
}

TEST(ScannerDifferential, SameOnTheCornersOfTheRules)
{
    expectSameScans(CORNERS);
}

TEST(ScannerDifferential, SameOnEveryCaseSource)
{
    std::vector<NamedSource> sources = caseSources();
    ASSERT_GT(sources.size(), 100u);
    expectSameScans(sources);
}

TEST(ScannerDifferential, SameOnGeneratedSources)
{
    std::mt19937 random(20261209);
    std::vector<NamedSource> sources;
    for (int i = 0; i < 400; ++i)
        sources.push_back({"generated source " + std::to_string(i), generatedSource(random)});
    expectSameScans(sources);
}

}  // namespace
