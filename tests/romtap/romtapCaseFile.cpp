#include "romtapCaseFile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

std::vector<std::string> words(const std::string& text)
{
    std::istringstream stream(text);
    std::vector<std::string> result;
    for (std::string word; stream >> word;)
        result.push_back(word);
    return result;
}

std::size_t hexNumber(const std::string& text)
{
    std::size_t used = 0;
    const unsigned long value = std::stoul(text, &used, 16);
    if (used != text.size())
        throw std::invalid_argument("not a hex number: " + text);
    return value;
}

std::string hexByte(std::size_t value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02zX", value);
    return text;
}

// "SLOT MAPPER SIZE" or "SLOT empty"; SIZE in decimal bytes.
SlotSetup parseSlot(int slot, const std::string& value)
{
    const auto parts = words(value);
    if (parts.size() == 1 && parts[0] == "empty")
        return {slot, "empty", 0};
    if (parts.size() != 2)
        throw std::invalid_argument("slot needs MAPPER SIZE or empty");
    return {slot, parts[0], std::stoul(parts[1])};
}

// Strips prefix from text if it is there.
bool consume(std::string& text, const std::string& prefix)
{
    if (text.rfind(prefix, 0) != 0)
        return false;
    text.erase(0, prefix.size());
    return true;
}

// romN[START:END] (hex bounds) or ff*COUNT (hex count).
ImagePiece parsePiece(const std::string& text)
{
    std::string count = text;
    if (consume(count, "ff*"))
        return {-1, 0, 0, hexNumber(count)};
    const auto open = text.find('[');
    const auto colon = text.find(':', open);
    const auto close = text.size() - 1;
    if (text.rfind("rom", 0) != 0 || open == std::string::npos || colon == std::string::npos || text[close] != ']')
        throw std::invalid_argument("bad image piece " + text);
    return {std::stoi(text.substr(3, open - 3)), hexNumber(text.substr(open + 1, colon - open - 1)),
            hexNumber(text.substr(colon + 1, close - colon - 1)), 0};
}

// "FILE absent" or "FILE PIECE...".
ImageExpectation parseImage(const std::string& value)
{
    const auto parts = words(value);
    if (parts.empty())
        throw std::invalid_argument("image needs a file name");
    ImageExpectation image{parts[0], parts.size() == 2 && parts[1] == "absent", {}};
    if (image.absent)
        return image;
    for (std::size_t index = 1; index < parts.size(); ++index)
        image.pieces.push_back(parsePiece(parts[index]));
    return image;
}

// "none" or "SLOT ADDRESS BYTES...", BYTES = XX or XX-YY runs, one log line per byte.
std::vector<std::string> parseWrites(const std::string& value)
{
    const auto parts = words(value);
    if (parts.size() == 1 && parts[0] == "none")
        return {};
    if (parts.size() < 3)
        throw std::invalid_argument("writes needs SLOT ADDRESS BYTES");
    std::vector<std::string> lines;
    for (std::size_t index = 2; index < parts.size(); ++index) {
        const auto dash = parts[index].find('-');
        const std::size_t first = hexNumber(parts[index].substr(0, dash));
        const std::size_t last = dash == std::string::npos ? first : hexNumber(parts[index].substr(dash + 1));
        for (std::size_t byte = first; byte <= last; ++byte)
            lines.push_back("W " + parts[0] + " " + parts[1] + " " + hexByte(byte));
    }
    return lines;
}

// "none" or "SLOT ADDRESS LENGTH xCOUNT".
std::vector<std::string> parseReads(const std::string& value)
{
    const auto parts = words(value);
    if (parts.size() == 1 && parts[0] == "none")
        return {};
    if (parts.size() != 4 || parts[3][0] != 'x')
        throw std::invalid_argument("reads needs SLOT ADDRESS LENGTH xCOUNT");
    return std::vector<std::string>(std::stoul(parts[3].substr(1)), "R " + parts[0] + " " + parts[1] + " " + parts[2]);
}

void applyKey(RomtapCase& testCase, const std::string& key, const std::string& value)
{
    std::string slotNumber = key;
    if (key == "args")
        testCase.args = words(value);
    else if (key == "reader")
        testCase.reader = value;
    else if (consume(slotNumber, "slot"))
        testCase.slots.push_back(parseSlot(std::stoi(slotNumber), value));
    else if (key == "env") {
        const auto equals = value.find('=');
        if (equals == std::string::npos)
            throw std::invalid_argument("env needs NAME=VALUE");
        testCase.environment.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    } else if (key == "status")
        testCase.status = std::stoi(value);
    else if (key == "stdout-to")
        testCase.stdoutTarget = value;
    else if (key == "image")
        testCase.image = parseImage(value);
    else if (key == "writes")
        testCase.writeLog = parseWrites(value);
    else if (key == "reads")
        testCase.readLog = parseReads(value);
    else if (key == "native-only")
        testCase.nativeOnly = true;
    else
        throw std::invalid_argument("unknown key " + key);
}

}  // namespace

RomtapCase loadCase(const std::filesystem::path& path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot read " + path.string());
    RomtapCase testCase;
    std::string* textBlock = nullptr;  // stdout or stderr while their "|" lines follow
    int lineNumber = 0;
    for (std::string line; std::getline(file, line);) {
        ++lineNumber;
        try {
            if (line.empty() || line[0] == '#')
                continue;
            if (line[0] == '|') {
                if (textBlock == nullptr)
                    throw std::invalid_argument("text line outside stdout: or stderr:");
                if (line.size() > 1 && line[1] != ' ')
                    throw std::invalid_argument("text lines start with \"| \"");
                *textBlock += (line.size() > 1 ? line.substr(2) : std::string()) + "\n";
                continue;
            }
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                throw std::invalid_argument("expected KEY: VALUE");
            const std::string key = line.substr(0, colon);
            const std::string value = line.substr(colon + 1 + (colon + 1 < line.size() && line[colon + 1] == ' '));
            textBlock = key == "stdout"   ? &testCase.expectedStdout
                        : key == "stderr" ? &testCase.expectedStderr
                                          : nullptr;
            if (textBlock == nullptr)
                applyKey(testCase, key, value);
        } catch (const std::exception& error) {
            throw std::runtime_error(path.string() + ":" + std::to_string(lineNumber) + ": " + error.what());
        }
    }
    if (testCase.status < 0)
        throw std::runtime_error(path.string() + ": no status: line");
    return testCase;
}
