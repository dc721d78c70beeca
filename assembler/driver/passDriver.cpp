#include "passDriver.h"

#include "AsmState.h"
#include "diagnostics.h"
#include "output.h"
#include "symbolFile.h"
#include "preprocess.h"
#include "../expressions/labels.h"
#include "../scanner/tempFile.h"
#include "../statements/dispatcher.h"

#include <chrono>
#include <new>
#include <cstdio>

namespace {

constexpr const char* DEFAULT_OUTPUT_NAME = "orbant.out";

using Clock = std::chrono::steady_clock;

void resetPassState()
{
    asmState.address = 0;
    asmState.outputPosition = 0;
    asmState.phaseOffset = 0;
    asmState.addressLimit = 0;
    asmState.statementAddress = 0;
    asmState.statementOutputPosition = 0;
    asmState.conditionalDepth = 0;
    asmState.unresolvedCount = 0;
    asmState.cpuMode = CPU_MODE_R800;
    resetGlobalLabel();
}

void runPass(const char* outputName)
{
    if (asmState.finalPass)
        std::fputs("Generating Output...\n", stdout);
    else
        std::printf("Pass %d...\n", asmState.pass);
    setSourceName("orbant.tmp");
    scanFlattenedSource();
    closeOutput();
    if (!openOutput(outputName))
        exitWithError();
    resetPassState();
    runStatements();
}

void runPasses(const char* outputName)
{
    for (;;) {
        runPass(outputName);
        if (asmState.unresolvedCount == 0) {
            if (asmState.finalPass)
                return;
            asmState.finalPass = -1;
        }
        asmState.pass += 1;
        if (asmState.pass > LAST_PASS)
            return;
    }
}

double secondsSince(Clock::time_point start)
{
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return static_cast<double>(elapsed.count()) / 1000.0;
}

}  // namespace

int runAssembler(int argc, char** argv)
{
    std::set_new_handler(outOfMemory);
    if (argc < 2)
        showUsage();
    setSourceName(argv[1]);
    const char* outputName = argc > 2 ? argv[2] : DEFAULT_OUTPUT_NAME;
    Clock::time_point start = Clock::now();
    clearLabels();
    preprocessSource();
    // Before the image is first created or emptied.
    protectSymbolFile();
    requireNotProtected(outputName);
    runPasses(outputName);
    if (asmState.unresolvedCount != 0)
        std::fputs("Too Many Passes Required!\n", stderr);
    closeOutput();
    writeSymbolFile();
    std::printf("Finished in %3.2f seconds.\n", secondsSince(start));
    return 0;
}
