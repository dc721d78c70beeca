// Which handler assembles a statement that begins with a given token.
#pragma once

#include "dispatcher.h"

// nullptr: the token cannot begin a statement.
StatementHandler handlerFor(int token);

// Tables indexed by token; each subsystem enters the statements it assembles.
void addEncoderRoutes(StatementHandler* table);
void addDirectiveRoutes(StatementHandler* table);
