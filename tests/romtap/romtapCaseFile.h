// One end-to-end romtap case: the command line, the simulated reader's
// set-up, and what romtap must print, return, write and ask of the reader.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct SlotSetup {
    int slot = 0;
    std::string mapper;  // "empty": a reader without a cartridge
    std::size_t romSize = 0;
};

// A piece of the expected image: bytes start..end of a slot's ROM, or a run of FFH.
struct ImagePiece {
    int slot = -1;  // -1: fillCount bytes of FFH
    std::size_t start = 0;
    std::size_t end = 0;
    std::size_t fillCount = 0;
};

struct ImageExpectation {
    std::string fileName;
    bool absent = false;
    std::vector<ImagePiece> pieces;
};

struct RomtapCase {
    std::vector<std::string> args;
    // sim; sim-copy: the simulated reader copied into the case's folder,
    // which args and stdout may name as {library}; none; without-ENTRY: a
    // stand-in library lacking that entry point (without-init,
    // without-readmemory, without-writememory, without-err2str).
    std::string reader = "sim";
    std::vector<SlotSetup> slots;
    std::vector<std::pair<std::string, std::string>> environment;
    int status = -1;
    std::string stdoutTarget;    // "stdout-to: FILE" sends standard output there, unchecked
    std::string expectedStdout;  // after the title and the rule; {size}, {crc32} and {sha1}
                                 // stand for those of the expected image
    std::string expectedStderr;
    std::optional<ImageExpectation> image;
    std::optional<std::vector<std::string>> writeLog;  // expected "W ..." lines of the reader's log
    std::optional<std::vector<std::string>> readLog;   // expected "R ..." lines
    bool nativeOnly = false;                           // "native-only: reason": depends on a native device
};

// Throws std::runtime_error naming the line for a malformed case.
RomtapCase loadCase(const std::filesystem::path& path);
