#include "caseFile.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace {

struct Section {
    std::string kind;
    std::vector<std::string> words;  // after the kind
    std::vector<std::string> lines;
    int headerLine = 0;
};

std::vector<std::string> splitWords(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;)
        words.push_back(word);
    return words;
}

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

std::string requireName(const Section& section)
{
    std::string name = nameOf(section);
    if (name.empty())
        throw std::runtime_error("line " + std::to_string(section.headerLine) + ": section needs a file name");
    return name;
}

void applySection(CaseFile& result, const Section& section)
{
    const std::string& kind = section.kind;
    if (kind == "file")
        result.inputs.push_back({requireName(section), sectionText(section)});
    else if (kind == "hexfile")
        result.inputs.push_back({requireName(section), decodeHexBytes(joinLines(section))});
    else if (kind == "symlink")
        result.symlinks.push_back({requireName(section), section.words.size() > 1 ? section.words[1] : ""});
    else if (kind == "directory")
        result.directories.push_back(requireName(section));
    else if (kind == "fifo")
        result.fifos.push_back(requireName(section));
    else if (kind == "native-only")
        result.nativeOnly = joinLines(section);
    else if (kind == "args")
        result.arguments = splitWords(joinLines(section));
    else if (kind == "status")
        result.status = std::stoi(joinLines(section));
    else if (kind == "stdout")
        result.standardOutput = sectionText(section);
    else if (kind == "stderr")
        result.standardError = sectionText(section);
    else if (kind == "image")
        result.images.push_back({nameOf(section), decodeHexBytes(joinLines(section))});
    else if (kind == "text")
        result.texts.push_back({requireName(section), sectionText(section)});
    else if (kind == "absent")
        result.absent.push_back(requireName(section));
    else
        throw std::runtime_error("line " + std::to_string(section.headerLine) + ": unknown section '" + kind + "'");
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
    for (const Section& section : sections)
        applySection(result, section);
    if (!result.status)
        throw std::runtime_error("the case has no status section");
    return result;
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
