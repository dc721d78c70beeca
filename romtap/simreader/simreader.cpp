// A stand-in for the cartridge reader's driver library: emulates up to 16
// reader slots, each empty or holding a cartridge served from a ROM image
// file, with fault injection for tests. Configured by MSXGRSIM_* variables.
#include "msxgrApi.h"
#include "simConfig.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>

namespace simreader {

namespace {

enum ResultCode : int {
    RESULT_OK = 0,
    RESULT_NOT_INITIALISED = 1,
    RESULT_SLOT_OUT_OF_RANGE = 2,
    RESULT_NO_READER = 3,
    RESULT_BAD_ARGUMENT = 4,
    RESULT_BAD_CONFIGURATION = 5,
};

const char* const RESULT_TEXTS[] = {
    "no error",
    "reader not initialised",
    "slot number out of range",
    "no reader on this slot",
    "invalid buffer, address or length",
    "simulator configuration is invalid",
};

constexpr int SIMULATED_VERSION = 0x0100;

struct Slot {
    bool present = false;
    std::optional<Cartridge> cartridge;
    long enableQueries = 0;
};

struct Reader {
    bool initialised = false;
    SimConfig config;
    std::array<Slot, SLOT_COUNT> slots;
    long readCalls = 0;
    long writeCalls = 0;
};

Reader& reader()
{
    static Reader instance;
    return instance;
}

// Forgets everything, as a library just loaded would.
void resetReader()
{
    reader() = Reader{};
}

int failConfiguration(const std::string& problem)
{
    std::fprintf(stderr, "simulated reader: %s\n", problem.c_str());
    return RESULT_BAD_CONFIGURATION;
}

// Reads at most one byte more than the mapper can address, to tell an
// oversized image without reading all of it.
std::string loadImage(const SlotConfig& config, std::vector<unsigned char>& image)
{
    std::ifstream file(config.romPath, std::ios::binary);
    if (!file)
        return "cannot open ROM image " + config.romPath;
    image.resize(largestImage(*config.mapper) + 1);
    file.read(reinterpret_cast<char*>(image.data()), static_cast<std::streamsize>(image.size()));
    image.resize(static_cast<std::size_t>(file.gcount()));
    const std::string problem = imageSizeProblem(*config.mapper, image.size());
    return problem.empty() ? problem : config.romPath + ": " + problem;
}

std::string insertCartridges(Reader& state)
{
    for (int index = 0; index < SLOT_COUNT; ++index) {
        const SlotConfig& config = state.config.slots[index];
        state.slots[index].present = config.present;
        if (config.mapper == nullptr)
            continue;
        std::vector<unsigned char> image;
        if (std::string problem = loadImage(config, image); !problem.empty())
            return problem;
        state.slots[index].cartridge.emplace(*config.mapper, std::move(image));
    }
    return {};
}

void appendLog(const std::string& line)
{
    const std::string& path = reader().config.logPath;
    if (path.empty())
        return;
    std::FILE* log = std::fopen(path.c_str(), "ab");
    if (log == nullptr || std::fprintf(log, "%s\n", line.c_str()) < 0 || std::fclose(log) != 0)
        std::fprintf(stderr, "simulated reader: cannot append to log %s\n", path.c_str());
}

std::string hexText(const char* format, long long value)
{
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

int checkTransfer(int slot, const unsigned char* buffer, int addressOrPort, int length)
{
    const Reader& state = reader();
    if (!state.initialised)
        return RESULT_NOT_INITIALISED;
    if (slot < 0 || slot >= SLOT_COUNT)
        return RESULT_SLOT_OUT_OF_RANGE;
    if (!state.slots[slot].present)
        return RESULT_NO_READER;
    if (length < 0 || addressOrPort < 0 || (buffer == nullptr && length > 0))
        return RESULT_BAD_ARGUMENT;
    return RESULT_OK;
}

int injectedFault(long& calls, const InjectedFault& fault)
{
    ++calls;
    return calls == fault.callNumber ? fault.code : RESULT_OK;
}

// A flaky read garbles the middle byte of the transfer, differently on each
// call, so that no two flaky reads of the same bytes agree.
void garbleIfFlaky(long call, const FlakyReads& flaky, unsigned char* buffer, int length)
{
    if (length == 0 || call < flaky.firstCall || call - flaky.firstCall >= flaky.count)
        return;
    buffer[length / 2] ^= static_cast<unsigned char>(1 + (call - 1) % 255);
}

}  // namespace

}  // namespace simreader

using namespace simreader;

extern "C" {

// Init and Uninit are logged too, failed calls included, so that a test can
// tell whether a program released the library on its way out.
MSXGR_EXPORT int MSXGR_CALL MSXGR_Init(void)
{
    resetReader();
    Reader& state = reader();
    const std::string configurationProblem = readConfig(state.config);
    appendLog("Init");
    if (!configurationProblem.empty())
        return failConfiguration(configurationProblem);
    if (state.config.initError != 0)
        return state.config.initError;
    if (std::string problem = insertCartridges(state); !problem.empty()) {
        resetReader();
        return failConfiguration(problem);
    }
    state.initialised = true;
    return RESULT_OK;
}

MSXGR_EXPORT void MSXGR_CALL MSXGR_Uninit(void)
{
    appendLog("Uninit");
    resetReader();
}

MSXGR_EXPORT int MSXGR_CALL MSXGR_GetVersion(void)
{
    return SIMULATED_VERSION;
}

// The simulator has no extra diagnostics to switch on.
MSXGR_EXPORT void MSXGR_CALL MSXGR_SetDebugMode(int) {}

// A misbehaving library's "no" has only its low byte clear; its "yes" is any odd value.
constexpr int MISBEHAVING_NO = 0x100;
constexpr int MISBEHAVING_YES = 0x12345601;
constexpr unsigned MISBEHAVING_INSERTED = 0x80000000u;

MSXGR_EXPORT int MSXGR_CALL MSXGR_IsSlotEnable(int slot)
{
    Reader& state = reader();
    const int no = state.config.misbehave ? MISBEHAVING_NO : 0;
    if (!state.initialised || slot < 0 || slot >= SLOT_COUNT || !state.slots[slot].present || state.config.neverEnabled)
        return no;
    if (++state.slots[slot].enableQueries <= state.config.enableAfter)
        return no;
    return state.config.misbehave ? MISBEHAVING_YES : 1;
}

// Words: reader present, cartridge inserted, reserved (0).
MSXGR_EXPORT int MSXGR_CALL MSXGR_GetSlotStatus(int slot, unsigned int status[3])
{
    const Reader& state = reader();
    if (!state.initialised)
        return RESULT_NOT_INITIALISED;
    if (slot < 0 || slot >= SLOT_COUNT)
        return RESULT_SLOT_OUT_OF_RANGE;
    if (status == nullptr)
        return RESULT_BAD_ARGUMENT;
    if (!state.slots[slot].present)
        return RESULT_NO_READER;
    status[0] = 1;
    status[1] = state.slots[slot].cartridge ? (state.config.misbehave ? MISBEHAVING_INSERTED : 1) : 0;
    status[2] = 0;
    return RESULT_OK;
}

MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadMemory(int slot, unsigned char* buffer, int address, int length)
{
    if (const int result = checkTransfer(slot, buffer, address, length); result != RESULT_OK)
        return result;
    Reader& state = reader();
    appendLog("R " + std::to_string(slot) + hexText(" %04llX", address) + hexText(" %llX", length));
    if (const int fault = injectedFault(state.readCalls, state.config.readFault); fault != RESULT_OK)
        return fault;
    const auto& cartridge = state.slots[slot].cartridge;
    for (int index = 0; index < length; ++index)
        buffer[index] = cartridge ? cartridge->read(static_cast<std::uint64_t>(address) + index) : 0xFF;
    garbleIfFlaky(state.readCalls, state.config.flakyReads, buffer, length);
    if (state.readCalls == state.config.interruptedRead)
        std::raise(SIGINT);
    return RESULT_OK;
}

MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteMemory(int slot, unsigned char* buffer, int address, int length)
{
    if (const int result = checkTransfer(slot, buffer, address, length); result != RESULT_OK)
        return result;
    Reader& state = reader();
    std::string line = "W " + std::to_string(slot) + hexText(" %04llX", address);
    for (int index = 0; index < length; ++index)
        line += hexText(" %02llX", buffer[index]);
    appendLog(line);
    if (const int fault = injectedFault(state.writeCalls, state.config.writeFault); fault != RESULT_OK)
        return fault;
    auto& cartridge = state.slots[slot].cartridge;
    for (int index = 0; index < length && cartridge; ++index)
        cartridge->write(static_cast<std::uint64_t>(address) + index, buffer[index]);
    return RESULT_OK;
}

// No I/O devices sit behind the simulated slots: ports read FFH.
MSXGR_EXPORT int MSXGR_CALL MSXGR_ReadIO(int slot, unsigned char* buffer, int port, int length)
{
    if (const int result = checkTransfer(slot, buffer, port, length); result != RESULT_OK)
        return result;
    for (int index = 0; index < length; ++index)
        buffer[index] = 0xFF;
    return RESULT_OK;
}

MSXGR_EXPORT int MSXGR_CALL MSXGR_WriteIO(int slot, unsigned char* buffer, int port, int length)
{
    return checkTransfer(slot, buffer, port, length);
}

// Not thread-safe for codes outside the table; romtap calls from one thread.
MSXGR_EXPORT const char* MSXGR_CALL MSXGR_Err2Str(int code)
{
    static char text[48];
    if (reader().config.misbehave)
        return nullptr;
    if (code >= 0 && code < static_cast<int>(std::size(RESULT_TEXTS)))
        return RESULT_TEXTS[code];
    std::snprintf(text, sizeof text, "simulated reader error %d", code);
    return text;
}

}  // extern "C"
