#include "freshPasses.h"

#include <cstdlib>

bool freshPasses()
{
    static const bool fresh = [] {
        const char* value = std::getenv("ORBANT_FRESH_PASSES");
        return value && *value;
    }();
    return fresh;
}
