// The simulated reader's configuration, read from MSXGRSIM_* environment
// variables each time the library is initialised.
#pragma once

#include "cartridge.h"

#include <array>
#include <string>

namespace simreader {

constexpr int SLOT_COUNT = 16;

struct SlotConfig {
    bool present = false;                  // a reader answers on this slot
    const MapperLayout* mapper = nullptr;  // nullptr: no cartridge inserted
    std::string romPath;
};

struct InjectedFault {
    long callNumber = 0;  // 1 = the first call after Init; 0 = never
    int code = 0;
};

// Reads that succeed but return wrong bytes, as through dirty contacts.
struct FlakyReads {
    long firstCall = 0;  // 1 = the first read after Init; 0 = never
    long count = 0;
};

struct SimConfig {
    std::array<SlotConfig, SLOT_COUNT> slots;
    long enableAfter = 0;  // queries per slot answered "not enabled" first
    bool neverEnabled = false;
    int initError = 0;
    InjectedFault readFault;
    InjectedFault writeFault;
    FlakyReads flakyReads;
    // The read, counted from 1 after Init, during which the process gets
    // SIGINT, as from a Ctrl-C pressed then; 0 = never.
    long interruptedRead = 0;
    std::string logPath;  // a line for each Init, Uninit, memory read and memory write
    // Answers the way a careless library might: odd nonzero values for
    // "yes", values whose low byte is 0 for "no", no text for any code.
    bool misbehave = false;
};

// Fills config from the environment; returns the first problem found, or "".
std::string readConfig(SimConfig& config);

}  // namespace simreader
