#include "evaluator.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokenStream.h"
#include "../scanner/tokens.h"
#include "labelReads.h"
#include "labels.h"

#include <array>
#include <cmath>
#include <cstddef>

namespace {

constexpr int32_t OUT_OF_RANGE_POWER = INT32_MIN;

// Each parenthesis costs a handful of stack frames; far beyond any real
// expression, a limit keeps absurd input from exhausting the stack.
constexpr int MAX_PARENTHESIS_DEPTH = 1000;
struct EvaluatorState {
    int parenthesisDepth = 0;  // of the expression being evaluated
    // Set while names take their values from elsewhere than the label table.
    int32_t (*nameValue)() = nullptr;
};

EvaluatorState evaluation;

// What the outermost level of an expression takes as operators. After some
// operands a statement may follow on the same line, and AND, OR and XOR
// there begin it (RST 8 OR 20H); inside parentheses they are operators.
enum class Operators {
    ALL,
    WITHOUT_LOGICAL
};

int32_t wrap(int64_t value)
{
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

int32_t power(int32_t base, int32_t exponent)
{
    double result = std::pow(static_cast<double>(base), static_cast<double>(exponent));
    if (!std::isfinite(result) || result < -2147483648.0 || result >= 2147483648.0)
        return OUT_OF_RANGE_POWER;
    return static_cast<int32_t>(result);
}

int32_t divide(int op, int32_t dividend, int32_t divisor)
{
    if (divisor == 0) {
        // An undefined label stands in as 0 in this pass, which will be
        // repeated: only a divisor that is really 0 is an error.
        if (asmState.unresolvedCount != 0) {
            ++asmState.stateDependences;
            return 0;
        }
        reportError("Division by zero");
    }
    if (dividend == INT32_MIN && divisor == -1)
        reportError("Division overflow");
    return op == '/' ? dividend / divisor : dividend % divisor;
}

int32_t characterConstant()
{
    if (asmState.tokenLength > 4)
        reportErrorAtToken("Illegal Character Constant");
    uint32_t value = 0;
    for (int i = 0; i < asmState.tokenLength; ++i) {
        auto character = static_cast<int32_t>(static_cast<signed char>(asmState.tokenText[i]));
        value += static_cast<uint32_t>(character) << (8 * i);
    }
    return static_cast<int32_t>(value);
}

int32_t comparison(Operators operators);

int32_t primary()
{
    int32_t value = 0;
    switch (asmState.curToken) {
    case TOKEN_NUMBER: value = asmState.tokenValue; break;
    case TOKEN_STRING: value = characterConstant(); break;
    case TOKEN_IDENTIFIER:
        ++asmState.stateDependences;
        value = evaluation.nameValue ? evaluation.nameValue() : labelValue();
        break;
    case TOKEN_DOLLAR:
        ++asmState.stateDependences;
        value = asmState.statementAddress;
        break;
    case TOKEN_DOUBLE_DOLLAR:
        ++asmState.stateDependences;
        value = asmState.statementOutputPosition;
        break;
    case '(':
        if (++evaluation.parenthesisDepth > MAX_PARENTHESIS_DEPTH)
            reportError("Parentheses nested too deeply");
        advanceToken();
        value = comparison(Operators::ALL);
        --evaluation.parenthesisDepth;
        if (asmState.curToken != ')')
            reportErrorAtToken("Closing parenthesis expected");
        break;
    default: reportErrorAtToken("Illegal Text in Expression");
    }
    advanceToken();
    return value;
}

int32_t unary()
{
    switch (asmState.curToken) {
    case '-': advanceToken(); return wrap(-static_cast<int64_t>(primary()));
    case '+': advanceToken(); return primary();
    case TOKEN_NOT: advanceToken(); return ~primary();
    default: return primary();
    }
}

int32_t combineMultiplicative(int op, int32_t left, int32_t right)
{
    switch (op) {
    case '*': return wrap(static_cast<int64_t>(left) * right);
    case '/':
    case TOKEN_MOD: return divide(op, left, right);
    case '^': return power(left, right);
    case TOKEN_SHIFT_LEFT: return static_cast<int32_t>(static_cast<uint32_t>(left) << (right & 31));
    case TOKEN_SHIFT_RIGHT: return static_cast<int32_t>(static_cast<uint32_t>(left) >> (right & 31));
    default: return left & right;  // AND
    }
}

constexpr bool isMultiplicative(int token, Operators operators)
{
    if (token == TOKEN_AND)
        return operators == Operators::ALL;
    return token == '*' || token == '/' || token == TOKEN_MOD || token == '^' || token == TOKEN_SHIFT_LEFT
           || token == TOKEN_SHIFT_RIGHT;
}

// Each level continues from a first operand already read, so that an
// expression can read its first operand before choosing the full chain.
int32_t multiplicativeFrom(int32_t value, Operators operators)
{
    while (isMultiplicative(asmState.curToken, operators)) {
        int op = asmState.curToken;
        advanceToken();
        value = combineMultiplicative(op, value, unary());
    }
    return value;
}

int32_t multiplicative(Operators operators)
{
    return multiplicativeFrom(unary(), operators);
}

constexpr bool isAdditive(int token, Operators operators)
{
    if (token == TOKEN_OR || token == TOKEN_XOR)
        return operators == Operators::ALL;
    return token == '+' || token == '-';
}

int32_t additiveFrom(int32_t value, Operators operators)
{
    for (;;) {
        int op = asmState.curToken;
        if (!isAdditive(op, operators))
            return value;
        advanceToken();
        int32_t right = multiplicative(operators);
        switch (op) {
        case '+': value = wrappingAdd(value, right); break;
        case '-': value = wrap(static_cast<int64_t>(value) - right); break;
        case TOKEN_OR: value |= right; break;
        default: value ^= right; break;
        }
    }
}

int32_t additive(Operators operators)
{
    return additiveFrom(multiplicative(operators), operators);
}

bool compare(int op, int32_t left, int32_t right)
{
    switch (op) {
    case '<': return left < right;
    case '>': return left > right;
    case '=': return left == right;
    case TOKEN_NOT_EQUAL: return left != right;
    case TOKEN_LESS_EQUAL: return left <= right;
    default: return left >= right;  // >=
    }
}

constexpr bool isComparison(int token)
{
    return token == '<' || token == '>' || token == '=' || token == TOKEN_NOT_EQUAL || token == TOKEN_LESS_EQUAL
           || token == TOKEN_GREATER_EQUAL;
}

int32_t comparisonFrom(int32_t value, Operators operators)
{
    while (isComparison(asmState.curToken)) {
        int op = asmState.curToken;
        advanceToken();
        value = compare(op, value, additive(operators)) ? -1 : 0;
    }
    return value;
}

constexpr auto IS_BINARY_OPERATOR = [] {
    std::array<bool, TOKEN_COUNT> table{};
    for (int token = 0; token < TOKEN_COUNT; ++token)
        table[static_cast<std::size_t>(token)]
            = isMultiplicative(token, Operators::ALL) || isAdditive(token, Operators::ALL) || isComparison(token);
    return table;
}();

// An operator of any level, whether or not the caller's level set accepts it.
bool isBinaryOperator(int token)
{
    return static_cast<unsigned>(token) < TOKEN_COUNT && IS_BINARY_OPERATOR[static_cast<std::size_t>(token)];
}

// Out of line, so that an operand with no operator after it runs without
// the registers the full chain saves.
[[gnu::noinline]] int32_t operatorsAfter(int32_t value, Operators operators)
{
    return comparisonFrom(additiveFrom(multiplicativeFrom(value, operators), operators), operators);
}

int32_t comparison(Operators operators)
{
    int32_t value = unary();
    // Most operands are a single number or label: one test ends them.
    if (!isBinaryOperator(asmState.curToken))
        return value;
    return operatorsAfter(value, operators);
}

}  // namespace

LabelReadLog labelReadLog;

int32_t evaluateExpression()
{
    return comparison(Operators::ALL);
}

int32_t evaluateWithNameValues(int32_t (*nameValue)())
{
    evaluation.nameValue = nameValue;
    int32_t value = comparison(Operators::ALL);
    evaluation.nameValue = nullptr;
    return value;
}

int32_t evaluateUpToLogicalOperator()
{
    return comparison(Operators::WITHOUT_LOGICAL);
}

// The tokens that unary() and primary() accept first.
bool beginsExpression(int token)
{
    switch (token) {
    case TOKEN_NUMBER:
    case TOKEN_STRING:
    case TOKEN_IDENTIFIER:
    case TOKEN_DOLLAR:
    case TOKEN_DOUBLE_DOLLAR:
    case '(':
    case '-':
    case '+':
    case TOKEN_NOT: return true;
    default: return false;
    }
}

int32_t labelValue()
{
    const LabelRecord* record = findTokenLabel();
    if (!record)
        reportLabelNotFound();
    if (record->definitionPass != 0) {
        noteLabelRead(record);
        return record->value;
    }
    asmState.unresolvedCount = -1;
    // A label still undefined here cannot be defined before the last pass,
    // which must be a final one.
    if (asmState.pass == LAST_PASS - 1)
        reportLabelNotDefined();
    return 0;
}
