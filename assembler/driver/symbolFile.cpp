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
#include <memory>
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

// "NAME: equ 0XXXXh ; last def. pass N", formatted without printf and
// written straight into the text: a program has tens of thousands of labels,
// and printf would cost more than the rest.
char* appendSymbolLine(char* out, const LabelRecord& record)
{
    static constexpr char MIDDLE[] = ": equ 0";
    static constexpr char TAIL[] = "h ; last def. pass ";
    out = std::copy(record.name.begin(), record.name.end(), out);
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

// The default form's text, written into room for every label at its
// longest: no growing, no copy, and no clearing first, which would touch
// as much memory again.
struct SymbolText {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;

    std::string_view view() const { return {bytes.get(), size}; }
};

SymbolText defaultSymbols()
{
    SymbolText symbols;
    symbols.bytes = std::make_unique_for_overwrite<char[]>(labelNameBytes() + labelCount() * MOST_AFTER_NAME);
    char* const start = symbols.bytes.get();
    char* end = start;
    for (const LabelRecord* head : asmState.labelBuckets)
        for (const LabelRecord* record = head; record; record = record->next)
            if (record->definitionPass != 0 && !record->fromCommandLine)
                end = appendSymbolLine(end, *record);
    symbols.size = static_cast<std::size_t>(end - start);
    return symbols;
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
    SymbolText defaultText;
    std::string_view text;
    if (commandLine().symbolFormat == SymbolFormat::DEFAULT) {
        defaultText = defaultSymbols();
        text = defaultText.view();
    } else {
        symbols = debuggerSymbols(commandLine().symbolFormat);
        text = symbols.text;
    }
    WholeOutputResult result = writeWholeOutput(name, text, FileRole::SYMBOL_FILE);
    if (result == WholeOutputResult::FAILED)
        printWriteFailure(name.c_str());
    if (result != WholeOutputResult::WRITTEN)
        std::fputs("Unable to write .SYM file!\n", stderr);
    else if (symbols.leftOut != 0)
        std::fprintf(stderr, "orbant: %s labels above FFFFH left out of %s\n", std::to_string(symbols.leftOut).c_str(),
                     name.c_str());
}
