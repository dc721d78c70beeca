// Which handler assembles a statement that begins with a given token.
#pragma once

#include "dispatcher.h"

// nullptr: the token cannot begin a statement.
StatementHandler handlerFor(int token);

// Enters the directives' handlers in a table indexed by token.
void addDirectiveRoutes(StatementHandler* table);
