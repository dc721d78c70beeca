#include "AsmState.h"

#include <cstring>

AsmState asmState;

void setSourceName(const char* text)
{
    std::strncpy(asmState.sourceName, text, SOURCE_NAME_SIZE - 1);
    asmState.sourceName[SOURCE_NAME_SIZE - 1] = '\0';
}
