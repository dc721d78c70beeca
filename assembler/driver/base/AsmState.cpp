#include "AsmState.h"

#include "diagnostics.h"

#include <cstring>

AsmState asmState;

void setSourceName(const char* text)
{
    std::strncpy(asmState.sourceName, text, SOURCE_NAME_SIZE - 1);
    asmState.sourceName[SOURCE_NAME_SIZE - 1] = '\0';
}

void requireUsableFileName(std::string_view name)
{
    if (name.size() >= SOURCE_NAME_SIZE)
        reportError("Filename too long");
    if (name.find('\0') != std::string_view::npos)
        reportError("Filename contains a NUL byte");
}
