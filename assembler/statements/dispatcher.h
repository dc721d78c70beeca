// The statement loop and the routing of each statement's first token.
#pragma once

// Fetches the first token, then runs the loop.
void runStatements();
// Runs the loop from the token already in curToken.
void continueStatements();
// The processing at each end-of-statement token.
void endStatement();

// Handlers follow one convention: entered with their keyword in curToken,
// they leave the first token they did not consume there.
using StatementHandler = void (*)();
