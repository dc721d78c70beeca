#include "simConfig.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace simreader {

namespace {

const char* variable(const std::string& name)
{
    return std::getenv(name.c_str());
}

bool parseNumber(const std::string& text, long minimum, long maximum, long& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && value >= minimum && value <= maximum;
}

std::string readSlot(int slot, SlotConfig& config)
{
    const std::string name = std::string("MSXGRSIM_SLOT").append(std::to_string(slot));
    const char* value = variable(name);
    if (value == nullptr)
        return {};
    config.present = true;
    const std::string text = value;
    if (text == "empty")
        return {};
    // The path may contain colons itself (C:\...), so split at the first one.
    const auto colon = text.find(':');
    config.mapper = colon == std::string::npos ? nullptr : findMapper(std::string_view(text).substr(0, colon));
    if (config.mapper == nullptr || colon + 1 == text.size())
        return name
               + " must be \"empty\" or MAPPER:ROMFILE with MAPPER one of plain, bank8-5000, bank8-6000, "
                 "bank8-fixed, bank16";
    config.romPath = text.substr(colon + 1);
    return {};
}

std::string readEnableAfter(SimConfig& config)
{
    const char* value = variable("MSXGRSIM_ENABLE_AFTER");
    if (value == nullptr)
        return {};
    config.neverEnabled = std::string(value) == "never";
    if (config.neverEnabled || parseNumber(value, 0, LONG_MAX, config.enableAfter))
        return {};
    return "MSXGRSIM_ENABLE_AFTER must be a number of queries or \"never\"";
}

std::string readInitError(SimConfig& config)
{
    const char* value = variable("MSXGRSIM_INIT_ERROR");
    long code = 0;
    if (value == nullptr)
        return {};
    if (parseNumber(value, INT_MIN, INT_MAX, code) && code != 0) {
        config.initError = static_cast<int>(code);
        return {};
    }
    return "MSXGRSIM_INIT_ERROR must be a nonzero result code";
}

std::string readFault(const char* name, InjectedFault& fault)
{
    const char* value = variable(name);
    if (value == nullptr)
        return {};
    const std::string text = value;
    const auto colon = text.find(':');
    long code = 0;
    if (colon != std::string::npos && parseNumber(text.substr(0, colon), 1, LONG_MAX, fault.callNumber)
        && parseNumber(text.substr(colon + 1), INT_MIN, INT_MAX, code) && code != 0) {
        fault.code = static_cast<int>(code);
        return {};
    }
    return std::string(name) + " must be CALL:CODE, a call number from 1 and a nonzero result code";
}

std::string readFlakyReads(FlakyReads& flaky)
{
    const char* value = variable("MSXGRSIM_FLAKY_READ");
    if (value == nullptr)
        return {};
    const std::string text = value;
    const auto colon = text.find(':');
    if (colon != std::string::npos && parseNumber(text.substr(0, colon), 1, LONG_MAX, flaky.firstCall)
        && parseNumber(text.substr(colon + 1), 1, LONG_MAX, flaky.count))
        return {};
    return "MSXGRSIM_FLAKY_READ must be CALL:COUNT, a call number from 1 and a number of calls from 1";
}

std::string readInterruptedRead(SimConfig& config)
{
    const char* value = variable("MSXGRSIM_INTERRUPT_READ");
    if (value == nullptr || parseNumber(value, 1, LONG_MAX, config.interruptedRead))
        return {};
    return "MSXGRSIM_INTERRUPT_READ must be a call number from 1";
}

}  // namespace

std::string readConfig(SimConfig& config)
{
    // First, so that an Init that refuses the rest is logged all the same.
    if (const char* value = variable("MSXGRSIM_LOG"))
        config.logPath = value;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        if (std::string problem = readSlot(slot, config.slots[slot]); !problem.empty())
            return problem;
    }
    for (std::string problem :
         {readEnableAfter(config), readInitError(config), readFault("MSXGRSIM_READ_ERROR", config.readFault),
          readFault("MSXGRSIM_WRITE_ERROR", config.writeFault), readFlakyReads(config.flakyReads),
          readInterruptedRead(config)}) {
        if (!problem.empty())
            return problem;
    }
    config.misbehave = variable("MSXGRSIM_MISBEHAVE") != nullptr;
    return {};
}

}  // namespace simreader
