#include "passDriver.h"

#include "../expressions/labels.h"
#include "../scanner/flattenedText.h"
#include "../scanner/tokenStream.h"
#include "../statements/decodedStatements.h"
#include "../statements/dispatcher.h"
#include "base/AsmState.h"
#include "base/diagnostics.h"
#include "base/fileSafety.h"
#include "base/fileSystem.h"
#include "base/inputLookup.h"
#include "base/listing.h"
#include "base/output.h"
#include "base/sourceFiles.h"
#include "commandLine.h"
#include "dependencyFile.h"
#include "listedSymbols.h"
#include "preprocess.h"
#include "symbolFile.h"

#include <chrono>
#include <cstdio>
#include <new>
#include <vector>

namespace {

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
    defineCommandLineLabels();
}

void runPass(const char* outputName)
{
    if (asmState.finalPass)
        std::fputs("Generating Output...\n", stdout);
    else
        std::printf("Pass %d...\n", asmState.pass);
    setSourceName(commandLine().flattenedFileName.c_str());
    scanFlattenedSource();
    startTokenPass();
    closeOutput();
    if (!openOutput(outputName))
        exitWithError();
    resetPassState();
    restartSourceSegments();
    restartListing();
    startDecodedPass();
    runStatements();
    endDecodedPass();
    clearStatementStart();
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

// The listing and the make rule, each with its role; empty names are not
// asked for.
std::vector<ProtectedFile> requestedOutputs()
{
    std::vector<ProtectedFile> outputs;
    if (!commandLine().listingName.empty())
        outputs.push_back({commandLine().listingName, FileRole::LISTING});
    if (!commandLine().dependencyName.empty())
        outputs.push_back({commandLine().dependencyName, FileRole::MAKE_RULE});
    return outputs;
}

// Neither the listing nor the make rule replaces another output of the run:
// what the command line names is refused before anything is read.
void refuseClashingRequestedOutputs()
{
    std::vector<ProtectedFile> named = {{commandLine().outputName, FileRole::IMAGE},
                                        {commandLine().flattenedFileName, FileRole::FLATTENED_SOURCE},
                                        {commandLine().symbolFileName, FileRole::SYMBOL_FILE}};
    for (const ProtectedFile& requested : requestedOutputs()) {
        FileIdentity identity = identifyFile(requested.name.c_str());
        for (const ProtectedFile& other : named)
            if (isSameFile(identity, identifyFile(other.name.c_str()))) {
                printRefusal(requested.name, other, RefusalWording::AS_OPEN_FAILURE);
                exitWithError();
            }
        named.push_back(requested);
    }
}

// An FNAME target is known only when its FNAME runs: there it is refused.
// After the inputs, which a refusal names first.
void protectRequestedOutputs()
{
    for (const ProtectedFile& requested : requestedOutputs())
        protectFile(requested.name, requested.role);
}

void writeRequestedFiles()
{
    if (!commandLine().listingName.empty() && !writeListing(commandLine().listingName, listedSymbols()))
        exitWithError();
}

// The status the run ends with once the make rule is written (0) or
// refused (1); a file that cannot be written ends the run at once.
int writeMakeRule()
{
    switch (writeDependencyFile(commandLine().dependencyName, commandLine().outputName)) {
    case DependencyResult::WRITTEN: return 0;
    case DependencyResult::NOT_WRITABLE: return 1;
    case DependencyResult::FAILED: break;
    }
    exitWithError();
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
    parseCommandLine(argc, argv);
    setIncludeDirectories(commandLine().includeDirectories);
    setGnuDiagnostics(commandLine().gnuDiagnostics);
    setWarningActions(commandLine().warningActions);
    if (!commandLine().listingName.empty())
        enableListing();
    setSourceName(commandLine().sourceName.c_str());
    const char* outputName = commandLine().outputName.c_str();
    refuseClashingRequestedOutputs();
    Clock::time_point start = Clock::now();
    clearLabels();
    registerCommandLineDefines();
    preprocessSource();
    // Before the image is first created or emptied.
    protectSymbolFile();
    requireNotProtected(outputName);
    protectRequestedOutputs();
    runPasses(outputName);
    if (asmState.unresolvedCount != 0)
        std::fputs("Too Many Passes Required!\n", stderr);
    closeOutput();
    writeSymbolFile();
    writeRequestedFiles();
    int status = errorWarningPrinted() ? 1 : 0;
    if (status == 0 && !commandLine().dependencyName.empty())
        status = writeMakeRule();
    std::printf("Finished in %3.2f seconds.\n", secondsSince(start));
    return status;
}
