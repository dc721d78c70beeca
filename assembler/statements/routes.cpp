#include "routes.h"

#include "positionDirectives.h"
#include "../driver/AsmState.h"
#include "../encoders/fixedOpcodes.h"
#include "../scanner/tokens.h"
#include "../scanner/tokenStream.h"

namespace {

void endOfStatement()
{
    endStatement();
    advanceToken();
}

struct Route {
    int token;
    StatementHandler handler;
};

constexpr Route ROUTES[] = {
    {TOKEN_END_OF_STATEMENT, endOfStatement},
    {TOKEN_LABEL_DEFINITION, defineLabel},
    {TOKEN_ORG, orgDirective},
    {TOKEN_PHASE, phaseDirective},
    {TOKEN_DEPHASE, dephaseDirective},
    {TOKEN_CPU, cpuDirective},
};

}  // namespace

StatementHandler handlerFor(int token)
{
    static const auto* const byToken = [] {
        static StatementHandler table[TOKEN_COUNT] = {};
        for (int candidate = 0; candidate < TOKEN_COUNT; ++candidate)
            if (findFixedOpcode(candidate))
                table[candidate] = emitFixedOpcode;
        addEncoderRoutes(table);
        addDirectiveRoutes(table);
        for (const Route& route : ROUTES)
            table[route.token] = route.handler;
        return table;
    }();
    return token >= 0 && token < TOKEN_COUNT ? byToken[token] : nullptr;
}
