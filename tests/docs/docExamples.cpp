// Reads the examples of a Markdown reference: fenced blocks whose info string
// names what they hold (tests/docs/README.md). Any other fenced block is prose.
#include "docExamples.h"

#include <sstream>
#include <stdexcept>

namespace {

struct Block {
    int line = 0;  // of the opening fence
    std::string kind;
    std::vector<std::string> words;  // of the info string, after the kind
    std::vector<std::string> lines;
    bool followsPrevious = false;  // only blank lines since the previous block
};

bool isBlank(const std::string& line)
{
    return line.find_first_not_of(" \t") == std::string::npos;
}

bool isFence(const std::string& line)
{
    return line.rfind("```", 0) == 0;
}

std::vector<Block> fencedBlocks(const std::string& markdown, std::vector<DocProblem>& problems)
{
    std::vector<Block> blocks;
    std::istringstream stream(markdown);
    std::string line;
    std::optional<Block> open;
    bool onlyBlanksSinceBlock = false;
    for (int number = 1; std::getline(stream, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (open) {
            if (line == "```") {
                blocks.push_back(*open);
                open.reset();
                onlyBlanksSinceBlock = true;
            } else
                open->lines.push_back(line);
        } else if (isFence(line)) {
            std::vector<std::string> words = splitWords(line.substr(3));
            open = Block{number, words.empty() ? "" : words.front(), {}, {}, onlyBlanksSinceBlock};
            if (!words.empty())
                open->words.assign(words.begin() + 1, words.end());
        } else if (!isBlank(line))
            onlyBlanksSinceBlock = false;
    }
    if (open)
        problems.push_back({open->line, "the fenced block is not closed"});
    return blocks;
}

std::string joinLines(const std::vector<std::string>& lines, bool finalLineEnd = true)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + '\n';
    if (!finalLineEnd && !text.empty())
        text.pop_back();
    return text;
}

bool isCheck(const std::string& kind)
{
    return kind == "bytes" || kind == "messages" || kind == "text";
}

bool isInput(const std::string& kind)
{
    return kind == "file" || kind == "hexfile";
}

// Words after the kind: at most `most`, and `noeol` only where allowed.
void requireWords(const Block& block, std::size_t least, std::size_t most)
{
    if (block.words.size() < least || block.words.size() > most)
        throw std::runtime_error("```" + block.kind + " takes " + std::to_string(least) + " to " + std::to_string(most)
                                 + " words after its kind");
}

bool takesNoEol(const Block& block, std::size_t position)
{
    if (block.words.size() <= position)
        return false;
    if (block.words[position] != "noeol")
        throw std::runtime_error("unknown word '" + block.words[position] + "' after ```" + block.kind);
    return true;
}

ExpectedFile inputFile(const Block& block)
{
    requireWords(block, 1, 1);
    if (block.kind == "hexfile")
        return {block.words[0], decodeHexBytes(joinLines(block.lines))};
    return {block.words[0], joinLines(block.lines)};
}

bool hasImage(const DocExample& example, const std::string& name)
{
    for (const ExpectedFile& image : example.images)
        if (image.name == name)
            return true;
    return false;
}

void addCheck(DocExample& example, const Block& block, bool& messagesGiven)
{
    if (block.kind == "bytes") {
        requireWords(block, 0, 1);
        const std::string name = block.words.empty() ? "orbant.out" : block.words[0];
        if (hasImage(example, name))
            throw std::runtime_error("a second ```bytes block for " + name);
        example.images.push_back({name, decodeHexBytes(joinLines(block.lines))});
    } else if (block.kind == "text") {
        requireWords(block, 1, 2);
        example.texts.push_back({block.words[0], joinLines(block.lines, !takesNoEol(block, 1))});
    } else {
        requireWords(block, 0, 1);
        const bool noEol = takesNoEol(block, 0);
        if (messagesGiven)
            throw std::runtime_error("a second ```messages block");
        const std::vector<std::string> status
            = block.lines.empty() ? std::vector<std::string>{} : splitWords(block.lines.front());
        if (status.size() != 2 || status[0] != "status"
            || status[1].find_first_not_of("0123456789") != std::string::npos)
            throw std::runtime_error("```messages must begin with a line 'status N'");
        example.status = std::stoi(status[1]);
        example.standardError = joinLines({block.lines.begin() + 1, block.lines.end()}, !noEol);
        messagesGiven = true;
    }
}

}  // namespace

DocExamples parseDocExamples(const std::string& markdown)
{
    DocExamples result;
    const std::vector<Block> blocks = fencedBlocks(markdown, result.problems);
    std::vector<ExpectedFile> pendingInputs;
    std::size_t index = 0;
    while (index < blocks.size()) {
        const Block& block = blocks[index++];
        const bool inputsPending = !pendingInputs.empty();
        try {
            if (inputsPending && !block.followsPrevious)
                throw std::runtime_error("files are not followed directly by an ```asm block");
            if (isInput(block.kind)) {
                pendingInputs.push_back(inputFile(block));
                continue;
            }
            if (isCheck(block.kind))
                throw std::runtime_error("```" + block.kind + " does not follow an ```asm block or its checks");
            if (block.kind != "asm") {
                if (inputsPending)
                    throw std::runtime_error("files are not followed directly by an ```asm block");
                continue;
            }
            DocExample example{block.line, block.words, joinLines(block.lines), pendingInputs, {}, {}, 0, ""};
            pendingInputs.clear();
            bool messagesGiven = false, checked = false, sound = true;
            for (; index < blocks.size() && blocks[index].followsPrevious && isCheck(blocks[index].kind); ++index) {
                try {
                    addCheck(example, blocks[index], messagesGiven);
                    checked = true;
                } catch (const std::runtime_error& error) {
                    result.problems.push_back({blocks[index].line, error.what()});
                    sound = false;
                }
            }
            if (!checked && sound)
                throw std::runtime_error("```asm block without a check (```bytes, ```messages or ```text) after it");
            if (sound)
                result.examples.push_back(example);
        } catch (const std::runtime_error& error) {
            pendingInputs.clear();
            result.problems.push_back({block.line, error.what()});
        }
    }
    if (!pendingInputs.empty())
        result.problems.push_back({blocks.back().line, "files at the end, with no ```asm block after them"});
    return result;
}
