// Expressions: five precedence levels over the token stream.
#pragma once

#include <cstdint>

// Starts at curToken; leaves curToken on the first token after the expression.
int32_t evaluateExpression();
// The same, with each name's value given by nameValue instead of the label
// table (it reads the name token in asmState).
int32_t evaluateWithNameValues(int32_t (*nameValue)());
// The same for an operand that a statement may follow on its line: a
// top-level AND, OR or XOR ends it and stays in curToken, since those words
// begin the next statement. Inside parentheses they are operators.
int32_t evaluateUpToLogicalOperator();
// Whether token can be the first token of an expression.
bool beginsExpression(int token);
// Value of the label named by the current identifier token.
int32_t labelValue();
