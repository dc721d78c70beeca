// The simulated reader on its own: mappers, slot answers, argument checks,
// fault injection and configuration errors, through its exported entry points.
#include "msxgrApi.h"
#include "testRom.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const VARIABLES[]
    = {"MSXGRSIM_ENABLE_AFTER", "MSXGRSIM_INIT_ERROR", "MSXGRSIM_READ_ERROR", "MSXGRSIM_WRITE_ERROR",
       "MSXGRSIM_FLAKY_READ",   "MSXGRSIM_LOG",        "MSXGRSIM_MISBEHAVE",  "MSXGRSIM_INTERRUPT_READ"};

constexpr long READS_FF = -1;  // expected offset meaning "reads FFH"

class SimReaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (int slot = 0; slot < 16; ++slot)
            unsetenv(("MSXGRSIM_SLOT" + std::to_string(slot)).c_str());
        for (const char* name : VARIABLES)
            unsetenv(name);
        // Parameterised names hold a "/", which must not make a subfolder.
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        workDir_ = fs::temp_directory_path() / ("romtap-simreader-" + name + "-" + std::to_string(getpid()));
        fs::create_directories(workDir_);
    }

    void TearDown() override
    {
        MSXGR_Uninit();
        fs::remove_all(workDir_);
    }

    // Writes a made-up ROM and puts it in the slot.
    std::vector<unsigned char> insert(int slot, const std::string& mapper, std::size_t size)
    {
        auto rom = simreader::makeTestRom(size);
        const fs::path path = workDir_ / ("rom" + std::to_string(slot) + ".bin");
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(rom.data()), static_cast<std::streamsize>(rom.size()));
        setenv(("MSXGRSIM_SLOT" + std::to_string(slot)).c_str(), (mapper + ":" + path.string()).c_str(), 1);
        return rom;
    }

    static std::string readLog(const fs::path& log)
    {
        std::ostringstream text;
        text << std::ifstream(log).rdbuf();
        return text.str();
    }

    static int readByte(int slot, int address, unsigned char& value)
    {
        return MSXGR_ReadMemory(slot, &value, address, 1);
    }

    static int writeByte(int slot, int address, unsigned char value)
    {
        return MSXGR_WriteMemory(slot, &value, address, 1);
    }

    fs::path workDir_;
};

struct MapperCase {
    const char* mapper;
    std::size_t romSize;
    std::vector<std::pair<int, unsigned char>> writes;  // address, bank
    int address;
    long expectedOffset;  // into the ROM, or READS_FF
};

const MapperCase MAPPER_CASES[] = {
    {"plain", 0x8000, {}, 0x4000, 0},
    {"plain", 0x8000, {}, 0xBFFF, 0x7FFF},
    {"plain", 0x8000, {}, 0x3FFF, READS_FF},
    {"plain", 0x8000, {}, 0xC000, READS_FF},
    {"plain", 0x8000, {{0x4000, 7}}, 0x4000, 0},  // a write cannot change a ROM
    {"plain", 0x4000, {}, 0x7FFF, 0x3FFF},
    {"plain", 0x4000, {}, 0x8000, READS_FF},
    {"plain", 0xC000, {}, 0x0000, 0},
    {"plain", 0xC000, {}, 0xBFFF, 0xBFFF},
    {"plain", 0xC000, {}, 0xC000, READS_FF},
    {"plain", 0x10000, {}, 0xFFFF, 0xFFFF},
    {"plain", 0x10000, {}, 0x10000, READS_FF},
    {"bank8-5000", 0x20000, {}, 0x4000, 0x0000},
    {"bank8-5000", 0x20000, {}, 0x6000, 0x2000},
    {"bank8-5000", 0x20000, {}, 0x8000, 0x4000},
    {"bank8-5000", 0x20000, {}, 0xBFFF, 0x7FFF},
    {"bank8-5000", 0x20000, {{0x5000, 5}}, 0x4000, 0xA000},
    {"bank8-5000", 0x20000, {{0x57FF, 7}}, 0x4001, 0xE001},
    {"bank8-5000", 0x20000, {{0x5800, 7}}, 0x4000, 0x0000},
    {"bank8-5000", 0x20000, {{0x7000, 3}}, 0x6000, 0x6000},
    {"bank8-5000", 0x20000, {{0x9000, 4}}, 0x9FFF, 0x9FFF},
    {"bank8-5000", 0x20000, {{0xB000, 15}}, 0xA000, 0x1E000},
    {"bank8-5000", 0x20000, {{0xB000, 16}}, 0xA000, 0x0000},  // bank numbers wrap at the ROM's size
    {"bank8-5000", 0x20000, {}, 0x3FFF, READS_FF},
    {"bank8-5000", 0x20000, {}, 0xC000, READS_FF},
    {"bank8-5000", 0x2064, {{0x5000, 1}}, 0x4063, 0x2063},  // a short last bank reads FFH past its end
    {"bank8-5000", 0x2064, {{0x5000, 1}}, 0x4064, READS_FF},
    {"bank8-6000", 0x20000, {{0x6000, 5}}, 0x4000, 0xA000},
    {"bank8-6000", 0x20000, {{0x6800, 6}}, 0x6000, 0xC000},
    {"bank8-6000", 0x20000, {{0x7000, 7}}, 0x8000, 0xE000},
    {"bank8-6000", 0x20000, {{0x7800, 8}}, 0xA000, 0x10000},
    {"bank8-6000", 0x20000, {{0x6800, 6}}, 0x4000, 0x0000},
    {"bank8-fixed", 0x20000, {{0x6000, 5}}, 0x6000, 0xA000},
    {"bank8-fixed", 0x20000, {{0x8000, 6}}, 0x8000, 0xC000},
    {"bank8-fixed", 0x20000, {{0xA000, 7}}, 0xA000, 0xE000},
    {"bank8-fixed", 0x20000, {{0x5000, 3}, {0x4000, 3}}, 0x4000, 0x0000},
    {"bank16", 0x20000, {}, 0x4000, 0x0000},
    {"bank16", 0x20000, {}, 0x8000, 0x4000},
    {"bank16", 0x20000, {{0x6000, 3}}, 0x4000, 0xC000},
    {"bank16", 0x20000, {{0x7000, 5}}, 0xBFFF, 0x17FFF},
    {"bank16", 0x20000, {{0x6800, 2}}, 0x4000, 0x0000},
};

void PrintTo(const MapperCase& mapperCase, std::ostream* out)
{
    *out << mapperCase.mapper << " " << std::hex << mapperCase.romSize << "h";
    for (const auto& [address, bank] : mapperCase.writes)
        *out << " bank " << int{bank} << " at " << address << "h";
    *out << " read " << mapperCase.address << "h";
}

class SimReaderMapperTest : public SimReaderTest, public testing::WithParamInterface<MapperCase> {};

TEST_P(SimReaderMapperTest, ReadsTheSelectedBank)
{
    const MapperCase& mapperCase = GetParam();
    const auto rom = insert(0, mapperCase.mapper, mapperCase.romSize);
    ASSERT_EQ(MSXGR_Init(), 0);
    for (const auto& [address, bank] : mapperCase.writes)
        ASSERT_EQ(writeByte(0, address, bank), 0);
    unsigned char value = 0;
    ASSERT_EQ(readByte(0, mapperCase.address, value), 0);
    const int expected = mapperCase.expectedOffset == READS_FF ? 0xFF : rom.at(mapperCase.expectedOffset);
    EXPECT_EQ(value, expected);
}

INSTANTIATE_TEST_SUITE_P(Mappers, SimReaderMapperTest, testing::ValuesIn(MAPPER_CASES));

TEST_F(SimReaderTest, BankRegistersStartAfreshOnInit)
{
    const auto rom = insert(0, "bank8-5000", 0x20000);
    ASSERT_EQ(MSXGR_Init(), 0);
    ASSERT_EQ(writeByte(0, 0x5000, 9), 0);
    ASSERT_EQ(MSXGR_Init(), 0);
    unsigned char value = 0;
    ASSERT_EQ(readByte(0, 0x4000, value), 0);
    EXPECT_EQ(value, rom[0]);
}

TEST_F(SimReaderTest, AnswersForPresentEmptyAndAbsentSlots)
{
    insert(0, "plain", 0x4000);
    setenv("MSXGRSIM_SLOT5", "empty", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(0), 1);
    EXPECT_EQ(MSXGR_IsSlotEnable(5), 1);
    EXPECT_EQ(MSXGR_IsSlotEnable(1), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(-1), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(16), 0);
    unsigned int status[3] = {9, 9, 9};
    ASSERT_EQ(MSXGR_GetSlotStatus(0, status), 0);
    EXPECT_EQ(status[1], 1u);
    ASSERT_EQ(MSXGR_GetSlotStatus(5, status), 0);
    EXPECT_EQ(status[1], 0u);
    EXPECT_EQ(MSXGR_GetSlotStatus(1, status), 3);
    EXPECT_EQ(MSXGR_GetSlotStatus(16, status), 2);
    EXPECT_EQ(MSXGR_GetSlotStatus(0, nullptr), 4);
    unsigned char value = 0;
    ASSERT_EQ(readByte(5, 0x4000, value), 0);
    EXPECT_EQ(value, 0xFF);
    EXPECT_EQ(readByte(1, 0x4000, value), 3);
}

TEST_F(SimReaderTest, RefusesCallsBeforeInitAndBadArguments)
{
    unsigned char value = 0;
    unsigned int status[3] = {};
    EXPECT_EQ(readByte(0, 0x4000, value), 1);
    EXPECT_EQ(writeByte(0, 0x4000, value), 1);
    EXPECT_EQ(MSXGR_GetSlotStatus(0, status), 1);
    EXPECT_EQ(MSXGR_IsSlotEnable(0), 0);
    insert(0, "plain", 0x4000);
    ASSERT_EQ(MSXGR_Init(), 0);
    EXPECT_EQ(MSXGR_ReadMemory(0, nullptr, 0x4000, 1), 4);
    EXPECT_EQ(MSXGR_ReadMemory(0, &value, 0x4000, -1), 4);
    EXPECT_EQ(MSXGR_ReadMemory(0, &value, -1, 1), 4);
    EXPECT_EQ(MSXGR_WriteMemory(0, nullptr, 0x4000, 1), 4);
    EXPECT_EQ(MSXGR_ReadMemory(0, nullptr, 0x4000, 0), 0);
    EXPECT_EQ(MSXGR_ReadMemory(-1, &value, 0x4000, 1), 2);
    MSXGR_Uninit();
    EXPECT_EQ(readByte(0, 0x4000, value), 1);
}

TEST_F(SimReaderTest, PortsReadFF)
{
    insert(0, "plain", 0x4000);
    ASSERT_EQ(MSXGR_Init(), 0);
    unsigned char ports[2] = {0, 0};
    EXPECT_EQ(MSXGR_ReadIO(0, ports, 0x98, 2), 0);
    EXPECT_EQ(ports[0], 0xFF);
    EXPECT_EQ(ports[1], 0xFF);
    EXPECT_EQ(MSXGR_WriteIO(0, ports, 0x98, 2), 0);
    EXPECT_EQ(MSXGR_WriteIO(3, ports, 0x98, 2), 3);
}

TEST_F(SimReaderTest, SlotsAnswerAfterTheGivenNumberOfQueries)
{
    insert(2, "plain", 0x4000);
    setenv("MSXGRSIM_ENABLE_AFTER", "2", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(2), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(2), 0);
    EXPECT_EQ(MSXGR_IsSlotEnable(2), 1);
    EXPECT_EQ(MSXGR_IsSlotEnable(2), 1);
}

TEST_F(SimReaderTest, NeverEnabledSlotsStillServeReads)
{
    const auto rom = insert(0, "plain", 0x4000);
    setenv("MSXGRSIM_ENABLE_AFTER", "never", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    for (int query = 0; query < 20; ++query)
        ASSERT_EQ(MSXGR_IsSlotEnable(0), 0);
    unsigned char value = 0;
    ASSERT_EQ(readByte(0, 0x4000, value), 0);
    EXPECT_EQ(value, rom[0]);
}

TEST_F(SimReaderTest, InitFailsWithTheInjectedCode)
{
    insert(0, "plain", 0x4000);
    setenv("MSXGRSIM_INIT_ERROR", "-7", 1);
    EXPECT_EQ(MSXGR_Init(), -7);
    EXPECT_EQ(MSXGR_IsSlotEnable(0), 0);
}

TEST_F(SimReaderTest, TransfersFailOnlyAtTheInjectedCall)
{
    insert(0, "bank8-5000", 0x4000);
    setenv("MSXGRSIM_READ_ERROR", "2:9", 1);
    setenv("MSXGRSIM_WRITE_ERROR", "1:12", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    unsigned char value = 0;
    EXPECT_EQ(readByte(0, 0x4000, value), 0);
    EXPECT_EQ(readByte(0, 0x4000, value), 9);
    EXPECT_EQ(readByte(0, 0x4000, value), 0);
    EXPECT_EQ(writeByte(0, 0x5000, 1), 12);
    EXPECT_EQ(writeByte(0, 0x5000, 1), 0);
}

// Calls 2 and 3 succeed with the middle byte garbled, each differently.
TEST_F(SimReaderTest, FlakyReadsGarbleTheMiddleByteOfTheGivenCalls)
{
    const auto rom = insert(0, "plain", 0x4000);
    setenv("MSXGRSIM_FLAKY_READ", "2:2", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    const std::vector<unsigned char> good(rom.begin(), rom.begin() + 5);
    std::vector<std::vector<unsigned char>> reads(4, std::vector<unsigned char>(5));
    for (auto& bytes : reads)
        ASSERT_EQ(MSXGR_ReadMemory(0, bytes.data(), 0x4000, 5), 0);
    EXPECT_EQ(reads[0], good);
    EXPECT_EQ(reads[3], good);
    for (int flaky : {1, 2}) {
        for (int index : {0, 1, 3, 4})
            EXPECT_EQ(reads[flaky][index], good[index]) << "read " << flaky + 1;
        EXPECT_NE(reads[flaky][2], good[2]) << "read " << flaky + 1;
    }
    EXPECT_NE(reads[1][2], reads[2][2]);
}

TEST_F(SimReaderTest, DescribesResultCodes)
{
    EXPECT_STREQ(MSXGR_Err2Str(0), "no error");
    EXPECT_STREQ(MSXGR_Err2Str(1), "reader not initialised");
    EXPECT_STREQ(MSXGR_Err2Str(2), "slot number out of range");
    EXPECT_STREQ(MSXGR_Err2Str(3), "no reader on this slot");
    EXPECT_STREQ(MSXGR_Err2Str(4), "invalid buffer, address or length");
    EXPECT_STREQ(MSXGR_Err2Str(5), "simulator configuration is invalid");
    EXPECT_STREQ(MSXGR_Err2Str(42), "simulated reader error 42");
    EXPECT_STREQ(MSXGR_Err2Str(-3), "simulated reader error -3");
}

TEST_F(SimReaderTest, LogsInitUninitAndEveryMemoryTransfer)
{
    insert(1, "bank8-5000", 0x4000);
    const fs::path log = workDir_ / "reader.log";
    setenv("MSXGRSIM_LOG", log.c_str(), 1);
    setenv("MSXGRSIM_READ_ERROR", "1:9", 1);
    ASSERT_EQ(MSXGR_Init(), 0);
    unsigned char bytes[3] = {0x00, 0x1F, 0xA5};
    ASSERT_EQ(MSXGR_WriteMemory(1, bytes, 0xB000, 3), 0);
    ASSERT_EQ(MSXGR_ReadMemory(1, bytes, 0x4000, 3), 9);  // failed calls are logged too
    ASSERT_EQ(MSXGR_ReadMemory(1, bytes, 0x12345, 0), 0);
    MSXGR_Uninit();
    MSXGR_Uninit();  // the first forgot the log with everything else
    EXPECT_EQ(readLog(log), "Init\nW 1 B000 00 1F A5\nR 1 4000 3\nR 1 12345 0\nUninit\n");
}

TEST_F(SimReaderTest, LogsInitsThatFail)
{
    const fs::path log = workDir_ / "reader.log";
    setenv("MSXGRSIM_LOG", log.c_str(), 1);
    setenv("MSXGRSIM_INIT_ERROR", "-7", 1);
    EXPECT_EQ(MSXGR_Init(), -7);
    unsetenv("MSXGRSIM_INIT_ERROR");
    setenv("MSXGRSIM_SLOT0", "bogus:rom.bin", 1);
    EXPECT_EQ(MSXGR_Init(), 5);
    setenv("MSXGRSIM_SLOT0", ("plain:" + (workDir_ / "missing.bin").string()).c_str(), 1);
    EXPECT_EQ(MSXGR_Init(), 5);
    EXPECT_EQ(readLog(log), "Init\nInit\nInit\n");
}

struct ConfigCase {
    const char* name;
    const char* value;
};

const ConfigCase BAD_CONFIGURATIONS[] = {
    {"MSXGRSIM_SLOT0", "bogus:rom.bin"},
    {"MSXGRSIM_SLOT0", "plain"},
    {"MSXGRSIM_SLOT0", "plain:"},
    {"MSXGRSIM_SLOT15", "plain:/nonexistent/rom.bin"},
    {"MSXGRSIM_ENABLE_AFTER", "soon"},
    {"MSXGRSIM_ENABLE_AFTER", "-1"},
    {"MSXGRSIM_INIT_ERROR", "0"},
    {"MSXGRSIM_INIT_ERROR", "x"},
    {"MSXGRSIM_READ_ERROR", "3"},
    {"MSXGRSIM_READ_ERROR", "0:5"},
    {"MSXGRSIM_READ_ERROR", "3:0"},
    {"MSXGRSIM_WRITE_ERROR", ":5"},
    {"MSXGRSIM_WRITE_ERROR", "2:99999999999"},
    {"MSXGRSIM_FLAKY_READ", "2"},
    {"MSXGRSIM_FLAKY_READ", "0:1"},
    {"MSXGRSIM_FLAKY_READ", "2:0"},
    {"MSXGRSIM_FLAKY_READ", "2:x"},
    {"MSXGRSIM_INTERRUPT_READ", "0"},
    {"MSXGRSIM_INTERRUPT_READ", "x"},
};

void PrintTo(const ConfigCase& configCase, std::ostream* out)
{
    *out << configCase.name << "=" << configCase.value;
}

class SimReaderConfigTest : public SimReaderTest, public testing::WithParamInterface<ConfigCase> {};

TEST_P(SimReaderConfigTest, RefusesBadVariables)
{
    setenv(GetParam().name, GetParam().value, 1);
    EXPECT_EQ(MSXGR_Init(), 5);
    EXPECT_EQ(MSXGR_IsSlotEnable(0), 0);
}

INSTANTIATE_TEST_SUITE_P(Variables, SimReaderConfigTest, testing::ValuesIn(BAD_CONFIGURATIONS));

struct SizeCase {
    const char* mapper;
    std::size_t romSize;
    int initResult;
};

const SizeCase IMAGE_SIZES[] = {
    {"plain", 0x10000, 0},       {"plain", 0x10001, 5},   {"bank8-5000", 0x200000, 0},
    {"bank8-6000", 0x200001, 5}, {"bank16", 0x400000, 0}, {"bank16", 0x400001, 5},
};

void PrintTo(const SizeCase& sizeCase, std::ostream* out)
{
    *out << sizeCase.mapper << " " << sizeCase.romSize;
}

class SimReaderSizeTest : public SimReaderTest, public testing::WithParamInterface<SizeCase> {};

TEST_P(SimReaderSizeTest, LimitsImagesToWhatTheMapperAddresses)
{
    insert(0, GetParam().mapper, GetParam().romSize);
    EXPECT_EQ(MSXGR_Init(), GetParam().initResult);
}

INSTANTIATE_TEST_SUITE_P(Images, SimReaderSizeTest, testing::ValuesIn(IMAGE_SIZES));

TEST_F(SimReaderTest, RefusesAnEmptyImage)
{
    const fs::path path = workDir_ / "empty.bin";
    std::ofstream(path).close();
    setenv("MSXGRSIM_SLOT0", ("plain:" + path.string()).c_str(), 1);
    EXPECT_EQ(MSXGR_Init(), 5);
}

}  // namespace
