#include "scannerDiff.h"

#include "blockSourceReader.h"
#include "flexScanner.h"

#include "driver/base/AsmState.h"
#include "driver/base/fileSystem.h"
#include "driver/base/sourceFiles.h"
#include "scanner/flattenedText.h"
#include "scanner/includedTexts.h"
#include "scanner/scanner.h"
#include "scanner/scannerActions.h"
#include "scanner/sourceReader.h"
#include "scanner/tokenStream.h"
#include "scanner/tokens.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// Deep enough for an include inside an include inside an include.
constexpr std::size_t MAX_INCLUDE_DEPTH = 3;

// What one scanner offers the scan loop, each as the driver uses it.
struct ScannerUnderTest {
    // Scans the main text: in memory, or read as a file by preprocessing.
    void (*start)(const std::string& text, FILE* file, bool preprocessing);
    int (*next)();
    // How many included texts are open.
    std::size_t (*depth)();
    // At an include: sets the including text aside, with its name and line,
    // and makes name the source name;
    void (*setAside)(const std::string& name);
    // then, after the file and line markers, scans file as the included text.
    void (*startIncluded)(FILE* file);
};

// flex's included texts, kept by the scan loop: the unscanned rest of each
// including text, its file, name and line.
struct IncludeLevel {
    std::string unscanned;
    FILE* file;
    std::string savedName;
    int savedLine;
};

// The state of one scan.
struct Scan {
    const ScannerUnderTest* scanner = nullptr;
    std::vector<IncludeLevel> includes;  // flex's
    FILE* file = nullptr;                // of the main text, or of flex's current text
    // Preprocessing may end the process with an error: it runs in a child
    // that writes each line at once, in order with the error's messages.
    bool inChild = false;
    std::string events;
};

Scan scan;

}  // namespace

// The leak checker's question at a process's exit. A child scan would check
// the heap it copied from this process, which is no leak of its own and
// takes most of the test's time under the sanitizers; this process's check
// stays.
extern "C" int __lsan_is_turned_off()
{
    return scan.inChild ? 1 : 0;
}

namespace {

// The re2c scanner goes back to an including text by itself, and reads an
// included file whole when it starts.
const ScannerUnderTest RE2C = {
    [](const std::string& text, FILE* file, bool preprocessing) {
        // The passes scan the flattened text in memory; preprocessing reads
        // the main file when the first token is asked for.
        if (preprocessing) {
            restartInput(file, reportedSize(file));
            startIncludedTexts(FileIdentity{});
        } else {
            restartWithText(text.c_str(), text.size());
        }
    },
    nextToken,
    includeDepth,
    // Which file a text is matters only to the recursion check, not here.
    [](const std::string& name) { setIncluderAside(name, FileIdentity{}); },
    [](FILE* file) {
        scanIncludedText(file, reportedSize(file));
        std::fclose(file);
    },
};

// The re2c scanner as the passes read a text: its tokens scanned ahead in
// runs, delivered from their records, scanned again where the CPU mode
// differs. The text lies in a buffer of its own, with the slack the runs
// read past its end. The token stream replays the records it holds when it
// is given the text it last read, so texts alternate between two buffers:
// the one just read stays in place while the next is filled.
const ScannerUnderTest RE2C_RECORDED = {
    [](const std::string& text, FILE*, bool) {
        static std::vector<char> copies[2];
        static unsigned last = 0;
        last ^= 1;
        std::vector<char>& copy = copies[last];
        copy.assign(text.begin(), text.end());
        copy.resize(text.size() + 1 + SCANNED_TEXT_SLACK, '\0');
        restartWithText(copy.data(), text.size());
        startTokenPass();
    },
    [] {
        advanceToken();
        return asmState.curToken;
    },
    includeDepth,
    [](const std::string&) {},
    [](FILE*) {},
};

// flex read every text from its file in blocks.
const ScannerUnderTest FLEX = {
    [](const std::string&, FILE* file, bool) { flexRestartInput(file); },
    flexNextToken,
    [] { return scan.includes.size(); },
    [](const std::string& name) {
        scan.includes.push_back({flexReleaseCurrentBuffer(), scan.file, asmState.sourceName, asmState.lineNumber});
        setSourceName(name.c_str());
    },
    [](FILE* file) {
        scan.file = file;
        flexStartFile(file);
    },
};

// A file holding text, read back as a source file is.
FILE* fileWith(const std::string& text)
{
    FILE* file = std::tmpfile();
    if (!file || std::fwrite(text.data(), 1, text.size(), file) != text.size())
        throw std::runtime_error("no temporary file");
    std::rewind(file);
    return file;
}

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written <= 0)
            std::_Exit(3);
        done += static_cast<std::size_t>(written);
    }
}

std::string escaped(const char* text, std::size_t length)
{
    std::string out;
    for (std::size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

void logToken(int token)
{
    std::string line = std::to_string(token) + " value " + std::to_string(asmState.tokenValue);
    if (token == TOKEN_IDENTIFIER || token == TOKEN_LABEL_DEFINITION) {
        line += " name " + escaped(asmState.labelName.data(), asmState.labelName.size());
    } else if (token != TOKEN_END_OF_INPUT && token != TOKEN_END_OF_STATEMENT) {
        // A line marker's text is read before its closing byte, whose read
        // at the end of the text let flex clear its buffer.
        auto length = static_cast<std::size_t>(asmState.tokenLength);
        // flex counted the character an index opener gives back.
        if (token == TOKEN_INDEX_OPEN && scan.scanner == &FLEX)
            --length;
        line += " text " + std::to_string(length) + ":" + escaped(asmState.tokenText, length);
    }
    line += " at " + std::to_string(asmState.lineNumber) + " " + asmState.sourceName + "\n";
    if (scan.inChild)
        writeAll(STDERR_FILENO, line);
    else
        scan.events += line;
}

// The end of an included text under flex: back to the text that included
// it, as the re2c scanner goes back by itself.
bool resumeIncludingText()
{
    if (scan.includes.empty())
        return false;
    IncludeLevel& level = scan.includes.back();
    std::fclose(scan.file);
    scan.file = level.file;
    flexResumeWithText(scan.file, std::move(level.unscanned));
    setSourceName(level.savedName.c_str());
    noteFileResume(asmState.sourceName, level.savedLine);
    asmState.lineNumber = level.savedLine;
    writeFileMarker(asmState.sourceName);
    scan.includes.pop_back();
    return true;
}

// The include's "file name" is its text, with "|" for a line end.
void includeText(std::string text)
{
    for (char& c : text)
        if (c == '|')
            c = '\n';
    scan.scanner->setAside("include" + std::to_string(scan.scanner->depth() + 1));
    noteFileStart(asmState.sourceName, asmState.sourceName);
    writeFileMarker(asmState.sourceName);
    asmState.lineNumber = 1;
    writeLineMarker(1);
    scan.scanner->startIncluded(fileWith(text));
}

void selectMode(ScanMode mode, int tokenIndex)
{
    switch (mode) {
    case ScanMode::Z80: asmState.cpuMode = CPU_MODE_Z80; break;
    case ScanMode::R800: asmState.cpuMode = CPU_MODE_R800; break;
    case ScanMode::GBZ80: asmState.cpuMode = CPU_MODE_GBZ80; break;
    case ScanMode::PREPROCESS: asmState.cpuMode = CPU_MODE_PREPROCESS; break;
    case ScanMode::MIXED: asmState.cpuMode = static_cast<CpuMode>(tokenIndex * 7 % 3); break;
    }
}

void runScan(const ScannerUnderTest& scanner, const std::string& source, ScanMode mode,
             const std::string& flattenedPath)
{
    scan.scanner = &scanner;
    scan.includes.clear();
    scan.events.clear();
    bool preprocessing = mode == ScanMode::PREPROCESS;
    asmState.pass = preprocessing ? 0 : 1;
    asmState.tokenValue = 0;
    asmState.labelName = {};
    asmState.globalLabel.clear();
    setSourceName("main.asm");
    asmState.lineNumber = 1;
    if (preprocessing && !openFlattenedFile(flattenedPath.c_str()))
        std::_Exit(3);
    scan.file = fileWith(source);
    static SourceText sourceText;
    readSourceText(scan.file, reportedSize(scan.file), sourceText);
    static std::string text;
    text.assign(sourceText.view());
    std::rewind(scan.file);
    scanner.start(text, scan.file, preprocessing);
    if (preprocessing)
        noteFileStart(asmState.sourceName, asmState.sourceName);
    flexSetEndOfInputHook(preprocessing ? resumeIncludingText : nullptr);
    for (int index = 0;; ++index) {
        selectMode(mode, index);
        int token = scanner.next();
        logToken(token);
        if (token == TOKEN_END_OF_INPUT)
            break;
        if (token != TOKEN_INCLUDE)
            continue;
        token = scanner.next();
        logToken(token);
        if (token == TOKEN_STRING && scanner.depth() < MAX_INCLUDE_DEPTH)
            includeText(std::string(asmState.tokenText, static_cast<std::size_t>(asmState.tokenLength)));
    }
    if (preprocessing)
        closeFlattenedFile();
    std::fclose(scan.file);
    for (IncludeLevel& level : scan.includes)
        std::fclose(level.file);
}

std::string readWhole(int fd)
{
    std::string text;
    char block[4096];
    ssize_t got;
    while ((got = read(fd, block, sizeof block)) > 0)
        text.append(block, static_cast<std::size_t>(got));
    return text;
}

std::string fileContent(const std::string& path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return "(no flattened text)";
    std::string text = readWhole(fd);
    close(fd);
    return text;
}

std::string temporaryPath()
{
    char path[] = "/tmp/scannerDiffXXXXXX";
    int fd = mkstemp(path);
    if (fd < 0)
        throw std::runtime_error("no temporary file");
    close(fd);
    return path;
}

ScanRecord scanInChild(const ScannerUnderTest& scanner, const std::string& source)
{
    std::string flattenedPath = temporaryPath();
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        throw std::runtime_error("no pipe");
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        throw std::runtime_error("no child process");
    if (pid == 0) {
        close(pipeEnds[0]);
        dup2(pipeEnds[1], STDERR_FILENO);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        scan.inChild = true;
        runScan(scanner, source, ScanMode::PREPROCESS, flattenedPath);
        std::exit(0);
    }
    close(pipeEnds[1]);
    ScanRecord record;
    record.events = readWhole(pipeEnds[0]);
    close(pipeEnds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    record.events += WIFEXITED(status) ? "\nstatus " + std::to_string(WEXITSTATUS(status))
                                       : "\nsignal " + std::to_string(WTERMSIG(status));
    record.flattened = fileContent(flattenedPath);
    unlink(flattenedPath.c_str());
    return record;
}

// The assembling modes end no run: they are scanned in this process.
ScanRecord scanWith(const ScannerUnderTest& scanner, const std::string& source, ScanMode mode)
{
    if (mode == ScanMode::PREPROCESS)
        return scanInChild(scanner, source);
    runScan(scanner, source, mode, "");
    return {scan.events + "\nstatus 0", ""};
}

std::string firstDifference(const std::string& what, const std::string& re2c, const std::string& flex)
{
    std::size_t at = 0;
    while (at < re2c.size() && at < flex.size() && re2c[at] == flex[at])
        ++at;
    std::size_t lineStart = re2c.rfind('\n', at == 0 ? 0 : at - 1);
    lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
    auto excerpt = [&](const std::string& text) {
        std::string piece = text.substr(lineStart, at - lineStart + 80);
        return escaped(piece.data(), piece.size());
    };
    return what + " differ at byte " + std::to_string(at) + ":\n  re2c: " + excerpt(re2c)
           + "\n  flex: " + excerpt(flex);
}

}  // namespace

const char* scanModeName(ScanMode mode)
{
    switch (mode) {
    case ScanMode::Z80: return "Z80";
    case ScanMode::R800: return "R800";
    case ScanMode::GBZ80: return "GBZ80";
    case ScanMode::PREPROCESS: return "preprocessing";
    case ScanMode::MIXED: break;
    }
    return "mixed CPU modes";
}

ScanRecord scanWithRe2c(const std::string& source, ScanMode mode)
{
    return scanWith(RE2C, source, mode);
}

ScanRecord scanWithFlex(const std::string& source, ScanMode mode)
{
    return scanWith(FLEX, source, mode);
}

std::string compareScanners(const std::string& source)
{
    FILE* file = fileWith(source);
    SourceText sourceText;
    readSourceText(file, reportedSize(file), sourceText);
    const std::string whole(sourceText.view());
    std::rewind(file);
    std::string inBlocks = readInBlocks(file);
    std::fclose(file);
    if (whole != inBlocks)
        return firstDifference("source texts", whole, inBlocks);
    for (ScanMode mode : ALL_SCAN_MODES) {
        ScanRecord re2c = scanWithRe2c(source, mode);
        ScanRecord flex = scanWithFlex(source, mode);
        std::string name = scanModeName(mode);
        if (re2c.events != flex.events)
            return firstDifference("token streams (" + name + ")", re2c.events, flex.events);
        if (re2c.flattened != flex.flattened)
            return firstDifference("flattened texts (" + name + ")", re2c.flattened, flex.flattened);
        if (mode == ScanMode::PREPROCESS)
            continue;
        ScanRecord recorded = scanWith(RE2C_RECORDED, source, mode);
        recorded.flattened.clear();
        if (recorded.events != flex.events)
            return firstDifference("token streams read from records (" + name + ")", recorded.events, flex.events);
    }
    return {};
}
