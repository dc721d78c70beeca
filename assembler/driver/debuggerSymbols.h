// The symbol file in the forms debuggers read: "def NAME HHHHh" (NoICE)
// and "00:HHHH NAME" (bank:address), one line per label, sorted by value
// and then by name. These forms hold 16-bit addresses only.
#pragma once

#include "commandLine.h"

#include <cstddef>
#include <string>

struct DebuggerSymbols {
    std::string text;
    std::size_t leftOut = 0;  // labels whose values do not fit 16 bits
};

// The labels the default symbol file lists, in format (NOICE or BANK).
DebuggerSymbols debuggerSymbols(SymbolFormat format);
