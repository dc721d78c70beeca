#include "caseFile.h"

#include "testRom.h"

#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

struct Section {
    std::string kind;
    std::vector<std::string> words;  // after the kind
    std::vector<std::string> lines;
    int headerLine = 0;
};

bool hasFlag(const Section& section, const char* flag)
{
    for (const std::string& word : section.words)
        if (word == flag)
            return true;
    return false;
}

// The first word that is no flag: the file name of file, image and text sections.
std::string nameOf(const Section& section)
{
    for (const std::string& word : section.words)
        if (word != "crlf" && word != "noeol")
            return word;
    return "";
}

std::string joinLines(const Section& section)
{
    std::string text;
    for (const std::string& line : section.lines)
        text += line + "\n";
    if (hasFlag(section, "noeol") && !text.empty())
        text.pop_back();
    return text;
}

std::string sectionText(const Section& section)
{
    std::string text = decodeEscapes(joinLines(section));
    if (!hasFlag(section, "crlf"))
        return text;
    std::string converted;
    for (char c : text) {
        if (c == '\n')
            converted += '\r';
        converted += c;
    }
    return converted;
}

// Escapes let a name hold bytes a section line cannot, such as a line end.
std::string requireName(const Section& section)
{
    std::string name = decodeEscapes(nameOf(section));
    if (name.empty())
        throw std::runtime_error("section needs a file name");
    return name;
}

// The one word of a section such as program, reader or status.
std::string soleWord(const Section& section)
{
    std::vector<std::string> words = splitWords(joinLines(section));
    if (words.size() != 1)
        throw std::runtime_error("section needs exactly one word");
    return words.front();
}

std::size_t hexNumber(const std::string& text)
{
    std::size_t used = 0;
    const unsigned long long value = std::stoull(text, &used, 16);
    if (used != text.size() || text.find_first_of("+-xX") != std::string::npos)
        throw std::runtime_error("not a hexadecimal number: " + text);
    return static_cast<std::size_t>(value);
}

std::size_t decimalNumber(const std::string& text)
{
    std::size_t used = 0;
    const unsigned long long value = std::stoull(text, &used, 10);
    if (used != text.size() || text.find_first_of("+-") != std::string::npos)
        throw std::runtime_error("not a decimal number: " + text);
    return static_cast<std::size_t>(value);
}

std::string hexByte(std::size_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[(value >> 4) & 15], digits[value & 15]};
}

ExpectedFile testRom(const Section& section)
{
    if (section.words.size() != 2)
        throw std::runtime_error("testrom needs NAME SIZE");
    const std::size_t size = decimalNumber(section.words[1]);
    const std::vector<unsigned char> rom = simreader::makeTestRom(size);
    return {section.words[0], std::string(rom.begin(), rom.end())};
}

std::pair<std::string, std::string> environmentEntry(const std::string& line)
{
    const auto equals = line.find('=');
    if (equals == std::string::npos || equals == 0)
        throw std::runtime_error("env lines are NAME=VALUE");
    return {line.substr(0, equals), line.substr(equals + 1)};
}

// "none", or "SLOT ADDRESS BYTES..." with BYTES single bytes XX or runs
// XX-YY: one "W SLOT ADDRESS XX" line per byte.
std::vector<std::string> readerWrites(const Section& section)
{
    const std::vector<std::string> words = splitWords(joinLines(section));
    if (words.size() == 1 && words[0] == "none")
        return {};
    if (words.size() < 3)
        throw std::runtime_error("reader-writes needs none or SLOT ADDRESS BYTES");
    std::vector<std::string> lines;
    for (std::size_t i = 2; i < words.size(); ++i) {
        const auto dash = words[i].find('-');
        const std::size_t first = hexNumber(words[i].substr(0, dash));
        const std::size_t last = dash == std::string::npos ? first : hexNumber(words[i].substr(dash + 1));
        if (last > 0xFF || first > last)
            throw std::runtime_error("not a byte or run of bytes: " + words[i]);
        for (std::size_t byte = first; byte <= last; ++byte)
            lines.push_back("W " + words[0] + " " + words[1] + " " + hexByte(byte));
    }
    return lines;
}

// "none", or lines "SLOT ADDRESS LENGTH xCOUNT", in the order of the reads:
// COUNT lines "R SLOT ADDRESS LENGTH" each.
std::vector<std::string> readerReads(const Section& section)
{
    const std::vector<std::string> all = splitWords(joinLines(section));
    if (all.size() == 1 && all[0] == "none")
        return {};
    std::vector<std::string> reads;
    for (const std::string& line : section.lines) {
        const std::vector<std::string> words = splitWords(line);
        if (words.size() != 4 || words[3].size() < 2 || words[3][0] != 'x')
            throw std::runtime_error("reader-reads needs none or lines SLOT ADDRESS LENGTH xCOUNT");
        reads.insert(reads.end(), decimalNumber(words[3].substr(1)), "R " + words[0] + " " + words[1] + " " + words[2]);
    }
    if (reads.empty())
        throw std::runtime_error("reader-reads needs none or lines SLOT ADDRESS LENGTH xCOUNT");
    return reads;
}

// "none", or the Init and Uninit calls in order, one per line.
std::vector<std::string> readerBinding(const Section& section)
{
    const std::vector<std::string> words = splitWords(joinLines(section));
    if (words.size() == 1 && words[0] == "none")
        return {};
    for (const std::string& word : words)
        if (word != "Init" && word != "Uninit")
            throw std::runtime_error("reader-binding lists none, or Init and Uninit calls");
    return words;
}

// Sections whose content depends on the whole case: images may take bytes
// from any input file.
struct Pending {
    std::vector<const Section*> images;
    bool argumentsGiven = false;
    bool romtapOnly = false;  // a section that only romtap's runs understand
};

void applySection(CaseFile& result, const Section& section, Pending& pending)
{
    const std::string& kind = section.kind;
    if (kind == "program")
        result.program = soleWord(section);
    else if (kind == "file")
        result.inputs.push_back({requireName(section), sectionText(section)});
    else if (kind == "hexfile")
        result.inputs.push_back({requireName(section), decodeHexBytes(joinLines(section))});
    else if (kind == "testrom")
        result.inputs.push_back(testRom(section));
    else if (kind == "symlink")
        result.symlinks.push_back({requireName(section), section.words.size() > 1 ? section.words[1] : ""});
    else if (kind == "directory")
        result.directories.push_back(requireName(section));
    else if (kind == "fifo")
        result.fifos.push_back(requireName(section));
    else if (kind == "native-only")
        result.nativeOnly = joinLines(section);
    else if (kind == "args") {
        result.arguments = splitWords(joinLines(section));
        for (std::string& word : result.arguments)
            word = decodeEscapes(word);
        pending.argumentsGiven = true;
    } else if (kind == "env") {
        for (const std::string& line : section.lines)
            if (!line.empty())
                result.environment.push_back(environmentEntry(line));
    } else if (kind == "status")
        result.status = std::stoi(soleWord(section));
    else if (kind == "stdout")
        result.standardOutput = sectionText(section);
    else if (kind == "stdout-to")
        result.standardOutputTarget = requireName(section);
    else if (kind == "file-size-limit")
        result.fileSizeLimit = decimalNumber(soleWord(section));
    else if (kind == "stderr")
        result.standardError = sectionText(section);
    else if (kind == "image")
        pending.images.push_back(&section);
    else if (kind == "text")
        result.texts.push_back({requireName(section), sectionText(section)});
    else if (kind == "absent")
        result.absent.push_back(requireName(section));
    else if (kind == "reader")
        result.reader = soleWord(section);
    else if (kind == "reader-writes")
        result.readerLog.writes = readerWrites(section);
    else if (kind == "reader-reads")
        result.readerLog.reads = readerReads(section);
    else if (kind == "reader-binding")
        result.readerLog.binding = readerBinding(section);
    else
        throw std::runtime_error("unknown section '" + kind + "'");
    pending.romtapOnly = pending.romtapOnly || kind.rfind("reader", 0) == 0;
}

const std::string& inputNamed(const CaseFile& result, const std::string& name)
{
    for (const ExpectedFile& input : result.inputs)
        if (input.name == name)
            return input.content;
    throw std::runtime_error("no input file " + name + " to take bytes from");
}

// NAME[START:END]: bytes START to END (exclusive, hexadecimal) of input file NAME.
std::string inputPiece(const CaseFile& result, const std::string& word)
{
    const auto open = word.find('[');
    const auto colon = word.find(':', open);
    if (colon == std::string::npos || word.back() != ']')
        throw std::runtime_error("not NAME[START:END]: " + word);
    const std::string& content = inputNamed(result, word.substr(0, open));
    const std::size_t start = hexNumber(word.substr(open + 1, colon - open - 1));
    const std::size_t end = hexNumber(word.substr(colon + 1, word.size() - colon - 2));
    if (start > end || end > content.size())
        throw std::runtime_error(word + " lies beyond the file's " + std::to_string(content.size()) + " bytes");
    return content.substr(start, end - start);
}

// HH*COUNT: COUNT (hexadecimal) bytes HH.
std::string repeatedByte(const std::string& word)
{
    const auto star = word.find('*');
    const std::string byte = decodeHexBytes(word.substr(0, star));
    if (byte.size() != 1)
        throw std::runtime_error("not HH*COUNT: " + word);
    return std::string(hexNumber(word.substr(star + 1)), byte[0]);
}

// Hexadecimal digits, with pieces of input files and runs of one byte among them.
std::string imageBytes(const CaseFile& result, const Section& section)
{
    std::string bytes, digits;
    for (const std::string& word : splitWords(joinLines(section))) {
        const bool piece = word.find('[') != std::string::npos;
        const bool run = word.find('*') != std::string::npos;
        if (!piece && !run) {
            digits += word;
            continue;
        }
        bytes += decodeHexBytes(digits);
        digits.clear();
        bytes += piece ? inputPiece(result, word) : repeatedByte(word);
    }
    return bytes + decodeHexBytes(digits);
}

void completeCase(CaseFile& result, const Pending& pending)
{
    if (result.program != "orbant" && result.program != "romtap")
        throw std::runtime_error("unknown program '" + result.program + "'");
    if (pending.romtapOnly && result.program != "romtap")
        throw std::runtime_error("reader sections belong to romtap cases");
    if (!pending.argumentsGiven && result.program != "orbant")
        result.arguments.clear();
    if (!result.status)
        throw std::runtime_error("the case has no status section");
    if (result.standardOutput && !result.standardOutputTarget.empty())
        throw std::runtime_error("standard output goes to " + result.standardOutputTarget + ": it cannot be checked");
}

// Names the section's line in any error it raises.
template <typename Action>
void inSection(const Section& section, Action action)
{
    try {
        action();
    } catch (const std::exception& error) {
        throw std::runtime_error("line " + std::to_string(section.headerLine) + ": " + error.what());
    }
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string readWholeFile(const std::filesystem::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream buffer;
    buffer << stream.rdbuf();
    return buffer.str();
}

CaseFile parseCaseFile(const std::string& text)
{
    CaseFile result;
    std::vector<Section> sections;
    std::istringstream stream(text);
    int lineNumber = 0;
    for (std::string line; std::getline(stream, line);) {
        ++lineNumber;
        if (line.rfind("--- ", 0) == 0) {
            std::vector<std::string> words = splitWords(line.substr(4));
            if (words.empty())
                throw std::runtime_error("line " + std::to_string(lineNumber) + ": empty section header");
            Section section;
            section.kind = words.front();
            section.words.assign(words.begin() + 1, words.end());
            section.headerLine = lineNumber;
            sections.push_back(section);
        } else if (sections.empty()) {
            result.description += line + "\n";
        } else {
            sections.back().lines.push_back(line);
        }
    }
    Pending pending;
    for (const Section& section : sections)
        inSection(section, [&] { applySection(result, section, pending); });
    for (const Section* image : pending.images)
        inSection(*image, [&] {
            result.images.push_back({decodeEscapes(nameOf(*image)), imageBytes(result, *image)});
        });
    completeCase(result, pending);
    return result;
}

std::vector<std::string> splitWords(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

std::string decodeEscapes(const std::string& text)
{
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            decoded += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hexValue(text[i + 2]) >= 0
                   && hexValue(text[i + 3]) >= 0) {
            decoded += static_cast<char>(hexValue(text[i + 2]) * 16 + hexValue(text[i + 3]));
            i += 3;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

std::string decodeHexBytes(const std::string& text)
{
    std::string bytes;
    int pending = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)))
            continue;
        int value = hexValue(c);
        if (value < 0)
            throw std::runtime_error(std::string("not a hexadecimal digit: '") + c + "'");
        if (pending < 0) {
            pending = value;
        } else {
            bytes += static_cast<char>(pending * 16 + value);
            pending = -1;
        }
    }
    if (pending >= 0)
        throw std::runtime_error("odd number of hexadecimal digits");
    return bytes;
}

std::string hexDump(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string dump;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (i != 0)
            dump += (i % 16 == 0) ? '\n' : ' ';
        dump += digits[byte >> 4];
        dump += digits[byte & 15];
    }
    return dump;
}
