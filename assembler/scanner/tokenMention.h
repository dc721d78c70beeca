// The current token as a message names it: as written, and where it was
// scanned, so that the GNU form can show it and point at it.
#pragma once

#include "../driver/base/diagnostics.h"

// Nothing for the end of a statement or of the input, which have no text.
TokenMention currentTokenMention();
// The current name token (an identifier or a label definition) as written:
// a local name without its scope.
TokenMention nameTokenMention();
// reportErrorNaming with the current token: the statement went wrong there.
[[noreturn]] void reportErrorAtToken(const char* message);
