#include "caseRunner.h"

#include "processRunner.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const std::string READER_LOG = "reader.log";

#if defined(__APPLE__)
const char* const LOADER_PATH_VARIABLE = "DYLD_LIBRARY_PATH";
#else
const char* const LOADER_PATH_VARIABLE = "LD_LIBRARY_PATH";
#endif

// Size, CRC32 and SHA-1 as Python's zlib and hashlib give them, so that
// romtap's -c is checked against code that is not its own.
const char* const CHECKSUM_SCRIPT = "import hashlib, sys, zlib; data = open(sys.argv[1], 'rb').read(); "
                                    "print(len(data), '%08x' % zlib.crc32(data), hashlib.sha1(data).hexdigest())";

const char* setting(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The simulated reader that romtap loads: the one just built, or for another
// build (ROMTAP_COMMAND) its MSXGr.dll in ROMTAP_READER_DIR.
fs::path simulatedReader()
{
    if (!runsForeignBuild("romtap"))
        return SIMULATED_READER;
    const char* directory = setting("ROMTAP_READER_DIR");
    if (!directory)
        throw std::runtime_error("ROMTAP_COMMAND needs ROMTAP_READER_DIR, the folder of its MSXGr.dll");
    return fs::path(directory) / "MSXGr.dll";
}

// The reader libraries that lack an entry point (without-init/, ...): this
// build's, or another build's in ROMTAP_STANDIN_DIR; empty when not given.
fs::path standInDirectory()
{
    if (!runsForeignBuild("romtap"))
        return STAND_IN_READERS;
    const char* directory = setting("ROMTAP_STANDIN_DIR");
    return directory ? directory : "";
}

std::string skipReason(const CaseFile& testCase)
{
    if (testCase.nativeOnly && runsForeignBuild(testCase.program))
        return "native build only: " + *testCase.nativeOnly;
    if (testCase.program == "romtap" && testCase.reader.rfind("without-", 0) == 0 && standInDirectory().empty())
        return "needs the stand-in reader libraries of this build (ROMTAP_STANDIN_DIR)";
    return "";
}

// The folder where romtap's loader is to find the reader library.
fs::path readerDirectory(const CaseFile& testCase, CaseRun& run)
{
    const fs::path& scratch = run.directory->path();
    if (testCase.reader == "sim")
        return simulatedReader().parent_path();
    if (testCase.reader == "sim-copy") {
        run.copiedLibrary = "reader/" + simulatedReader().filename().string();
        run.directory->makeDirectory("reader");
        fs::copy_file(simulatedReader(), scratch / run.copiedLibrary);
        return scratch / "reader";
    }
    if (testCase.reader == "none") {
        run.directory->makeDirectory("no-reader");
        return scratch / "no-reader";
    }
    if (testCase.reader.rfind("without-", 0) == 0 && fs::is_directory(standInDirectory() / testCase.reader))
        return standInDirectory() / testCase.reader;
    throw std::runtime_error("unknown reader " + testCase.reader);
}

void setVariable(EnvironmentChanges& environment, const std::string& name, const std::string& value)
{
    for (auto& entry : environment)
        if (entry.first == name) {
            entry.second = value;
            return;
        }
    environment.emplace_back(name, value);
}

// romtap runs with none of the simulated reader's settings but the case's,
// its loader pointed at the case's reader library, and the reader's log in
// the case's directory.
void prepareReader(const CaseFile& testCase, CaseRun& run, CommandSetup& setup)
{
    setup.clearedPrefixes.push_back("MSXGRSIM_");
    const char* loaderVariable = runsForeignBuild("romtap") ? "WINEPATH" : LOADER_PATH_VARIABLE;
    setVariable(setup.environment, loaderVariable, readerDirectory(testCase, run).string());
    setVariable(setup.environment, "MSXGRSIM_LOG", (run.directory->path() / READER_LOG).string());
}

std::string replaceAll(std::string text, const std::string& placeholder, const std::string& value)
{
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

std::string withLibrary(const std::string& text, const CaseRun& run)
{
    return run.copiedLibrary.empty() ? text : replaceAll(text, "{library}", run.copiedLibrary);
}

void writeInputs(const CaseFile& testCase, const ScratchDirectory& directory)
{
    for (const ExpectedFile& input : testCase.inputs)
        directory.writeFile(input.name, input.content);
    for (const ExpectedFile& link : testCase.symlinks)
        directory.makeSymlink(link.name, link.content);
    for (const std::string& name : testCase.directories)
        directory.makeDirectory(name);
    for (const std::string& name : testCase.fifos)
        directory.makeFifo(name);
}

bool mentionsChecksums(const std::string& text)
{
    for (const char* placeholder : {"{size}", "{crc32}", "{sha1}"})
        if (text.find(placeholder) != std::string::npos)
            return true;
    return false;
}

std::string withChecksums(const std::string& text, const std::string& image)
{
    ScratchDirectory directory;
    directory.writeFile("image.bin", image);
    const RunResult result = runCommand(directory, {"python3", "-c", CHECKSUM_SCRIPT, "image.bin"});
    std::istringstream checksums(result.standardOutput);
    std::string size, crc32, sha1;
    if (result.status != 0 || !(checksums >> size >> crc32 >> sha1))
        throw std::runtime_error("python3 could not compute the checksums: " + result.standardError);
    return replaceAll(replaceAll(replaceAll(text, "{size}", size), "{crc32}", crc32), "{sha1}", sha1);
}

const char* const FILE_SHA1_SCRIPT
    = "import hashlib, sys; print(hashlib.sha1(open(sys.argv[1], 'rb').read()).hexdigest())";

// The library romtap loads in a case (reader sim or sim-copy): its file name and SHA-1.
std::string withLibraryIdentity(std::string text)
{
    if (text.find("{library-name}") == std::string::npos && text.find("{library-sha1}") == std::string::npos)
        return text;
    const fs::path library = simulatedReader();
    text = replaceAll(text, "{library-name}", library.filename().string());
    if (text.find("{library-sha1}") == std::string::npos)
        return text;
    ScratchDirectory directory;
    const RunResult result = runCommand(directory, {"python3", "-c", FILE_SHA1_SCRIPT, library.string()});
    if (result.status != 0 || result.standardOutput.size() != 41)
        throw std::runtime_error("python3 could not compute the library's SHA-1: " + result.standardError);
    return replaceAll(text, "{library-sha1}", result.standardOutput.substr(0, 40));
}

std::string withPlaceholders(const std::string& text, const CaseFile& testCase, const CaseRun& run)
{
    const std::string result = withLibraryIdentity(withLibrary(text, run));
    if (!mentionsChecksums(result))
        return result;
    if (testCase.images.empty())
        throw std::runtime_error("{size}, {crc32} and {sha1} need an image section");
    return withChecksums(result, testCase.images.front().content);
}

}  // namespace

CaseRun runCase(const CaseFile& testCase)
{
    CaseRun run;
    try {
        run.skipReason = skipReason(testCase);
        if (!run.skipReason.empty())
            return run;
        run.directory = std::make_unique<ScratchDirectory>();
        writeInputs(testCase, *run.directory);
        CommandSetup setup;
        if (testCase.program == "romtap")
            prepareReader(testCase, run, setup);
        for (const auto& [name, value] : testCase.environment)
            setVariable(setup.environment, name, value);
        if (testCase.standardOutputTarget == CLOSED_STANDARD_OUTPUT)
            setup.standardOutputClosed = true;
        else
            setup.standardOutputPath = testCase.standardOutputTarget;
        setup.fileSizeLimit = testCase.fileSizeLimit;
        std::vector<std::string> arguments;
        for (const std::string& argument : testCase.arguments)
            arguments.push_back(withLibrary(argument, run));
        run.started = std::chrono::system_clock::now();
        run.result = runProgram(testCase.program, *run.directory, arguments, setup);
        run.ended = std::chrono::system_clock::now();
        if (testCase.standardOutput)
            run.expectedStandardOutput = withPlaceholders(*testCase.standardOutput, testCase, run);
        if (testCase.standardError)
            run.expectedStandardError = withPlaceholders(*testCase.standardError, testCase, run);
        for (const ExpectedFile& text : testCase.texts)
            run.expectedTexts.push_back({text.name, withPlaceholders(text.content, testCase, run)});
    } catch (const std::exception& error) {
        run.setupError = error.what();
    }
    return run;
}

namespace {

std::string isoTime(std::chrono::system_clock::time_point when)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool isIsoTime(const std::string& text)
{
    const std::string shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(text[i])) : text[i] != shape[i])
            return false;
    return true;
}

}  // namespace

std::string withDates(std::string expected, const std::string& actual, const CaseRun& run)
{
    const std::string placeholder = "{date}";
    const std::string earliest = isoTime(run.started - std::chrono::seconds(1));
    const std::string latest = isoTime(run.ended + std::chrono::seconds(1));
    for (auto at = expected.find(placeholder); at != std::string::npos; at = expected.find(placeholder, at + 1)) {
        const std::string date = at < actual.size() ? actual.substr(at, earliest.size()) : std::string();
        // ISO 8601 times in one format order as their texts do.
        if (isIsoTime(date) && earliest <= date && date <= latest)
            expected.replace(at, placeholder.size(), date);
    }
    return expected;
}

unsigned runsAtOnce(const std::string& program)
{
    return program == "romtap" ? 8 : 1;
}

std::vector<std::string> readerLogLines(const CaseRun& run, bool (*keep)(const std::string& line))
{
    std::istringstream log(readWholeFile(run.directory->path() / READER_LOG));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        if (keep(line))
            lines.push_back(line);
    return lines;
}

bool copiedLibraryIsUnchanged(const CaseRun& run)
{
    return readWholeFile(run.directory->path() / run.copiedLibrary) == readWholeFile(simulatedReader());
}
