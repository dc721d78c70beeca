// Expressions: five precedence levels over the token stream.
#pragma once

#include <cstdint>

// Starts at curToken; leaves curToken on the first token after the expression.
int32_t evaluateExpression();
// Value of the label named by the current identifier token.
int32_t labelValue();
