#include "symbolFile.h"

#include "../expressions/labels.h"
#include "base/AsmState.h"
#include "base/diagnostics.h"
#include "base/fileSafety.h"
#include "commandLine.h"
#include "debuggerSymbols.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The longest line after the name: ": equ 0", eight hexadecimal digits,
// "h ; last def. pass ", ten decimal digits and the newline.
constexpr std::size_t MOST_AFTER_NAME = 7 + 8 + 19 + 10 + 1;

constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// The two digits of each byte value, so that most values take two steps.
constexpr auto HEX_PAIRS = [] {
    std::array<std::array<char, 2>, 256> pairs{};
    for (std::size_t byte = 0; byte < pairs.size(); ++byte)
        pairs[byte] = {HEX_DIGITS[byte >> 4], HEX_DIGITS[byte & 0xF]};
    return pairs;
}();

// As many digits as the value needs, at least one; written from the last.
char* appendHexadecimal(char* out, uint32_t value)
{
    const int count = std::max(1, static_cast<int>(std::bit_width(value) + 3) / 4);
    char* at = out + count;
    for (; at - out >= 2; value >>= 8) {
        at -= 2;
        std::memcpy(at, HEX_PAIRS[value & 0xFF].data(), 2);
    }
    if (at != out)
        *out = HEX_DIGITS[value & 0xF];
    return out + count;
}

// ": equ 0XXXXh ; last def. pass N" and the newline after a name, formatted
// without printf and written straight into the text: a program has tens of
// thousands of labels, and printf would cost more than the rest.
char* appendSymbolTail(char* out, const LabelRecord& record)
{
    static constexpr char MIDDLE[] = ": equ 0";
    static constexpr char TAIL[] = "h ; last def. pass ";
    out = std::copy(MIDDLE, MIDDLE + sizeof MIDDLE - 1, out);
    out = appendHexadecimal(out, static_cast<uint32_t>(record.value));
    out = std::copy(TAIL, TAIL + sizeof TAIL - 1, out);
    out = std::to_chars(out, out + 10, static_cast<unsigned>(record.definitionPass)).ptr;
    *out++ = '\n';
    return out;
}

bool isNamedByOption()
{
    return commandLine().symbolFileName != DEFAULT_SYMBOL_FILE_NAME;
}

// The default form's lines go out through one block: a text of megabytes
// would cost a page fault for every few thousand bytes, more than the writes.
class SymbolLines {
public:
    explicit SymbolLines(WholeOutput& output) : output(output) {}

    void add(const LabelRecord& record)
    {
        const std::size_t longest = record.name.size() + MOST_AFTER_NAME;
        if (longest > static_cast<std::size_t>(block + sizeof block - end)) {
            flush();
            // A name longer than the block goes out on its own.
            if (longest > sizeof block) {
                output.write(record.name);
                end = appendSymbolTail(end, record);
                return;
            }
        }
        end = appendSymbolTail(std::copy(record.name.begin(), record.name.end(), end), record);
    }
    void flush()
    {
        output.write({block, static_cast<std::size_t>(end - block)});
        end = block;
    }

private:
    static char block[65536];
    WholeOutput& output;
    char* end = block;
};

char SymbolLines::block[65536];

WholeOutputResult writeDefaultSymbols(const std::string& name)
{
    WholeOutput output;
    if (!output.open(name, FileRole::SYMBOL_FILE))
        return WholeOutputResult::REFUSED;
    SymbolLines lines(output);
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0 && !record->fromCommandLine)
                lines.add(*record);
    lines.flush();
    return output.finish();
}

}  // namespace

// orbant.sym is refused at once when it would overwrite a file the run
// needs; a file named by --symbols is refused only when the symbols are
// written, and then, like a symbol file that cannot be written, without
// failing the run.
void protectSymbolFile()
{
    const std::string& name = commandLine().symbolFileName;
    if (!isNamedByOption())
        requireNotProtected(name);
    protectFile(name, FileRole::SYMBOL_FILE);
}

void writeSymbolFile()
{
    const std::string& name = commandLine().symbolFileName;
    DebuggerSymbols symbols;
    WholeOutputResult result = WholeOutputResult::WRITTEN;
    if (commandLine().symbolFormat == SymbolFormat::DEFAULT) {
        result = writeDefaultSymbols(name);
    } else {
        symbols = debuggerSymbols(commandLine().symbolFormat);
        result = writeWholeOutput(name, symbols.text, FileRole::SYMBOL_FILE);
    }
    if (result == WholeOutputResult::FAILED)
        printWriteFailure(name.c_str());
    if (result != WholeOutputResult::WRITTEN)
        std::fputs("Unable to write .SYM file!\n", stderr);
    else if (symbols.leftOut != 0)
        std::fprintf(stderr, "orbant: %s labels above FFFFH left out of %s\n", std::to_string(symbols.leftOut).c_str(),
                     name.c_str());
}
