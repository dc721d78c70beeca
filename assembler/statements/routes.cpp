#include "routes.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/diagnostics.h"
#include "../encoders/encoders.h"
#include "../encoders/fixedOpcodes.h"
#include "../scanner/tokenMention.h"
#include "../scanner/tokens.h"
#include "positionDirectives.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace {

struct Route {
    int token;
    StatementHandler handler;
};

// clang-format off
constexpr Route ROUTES[] = {
    {TOKEN_LABEL_DEFINITION, defineLabel},
    {TOKEN_ORG, orgDirective},
    {TOKEN_PHASE, phaseDirective},
    {TOKEN_DEPHASE, dephaseDirective},
    {TOKEN_CPU, cpuDirective},
};
// clang-format on

// The encoders' routes, as each family exports them from its tables.
std::vector<EncoderRoute> encoderRoutes()
{
    std::vector<EncoderRoute> routes;
    addLoadRoutes(routes);
    addArithmeticRoutes(routes);
    addBitGroupRoutes(routes);
    addControlRoutes(routes);
    addPortRoutes(routes);
    addMultiplyRoutes(routes);
    addGbz80Routes(routes);
    return routes;
}

void addEncoderRoutes(StatementHandler* table)
{
    for (const EncoderRoute& route : encoderRoutes())
        table[route.mnemonic] = route.encode;
}

}  // namespace

void refuseStatement()
{
    reportErrorAtToken("Illegal Text");
}

const StatementHandler* statementHandlers()
{
    static const auto* const byToken = [] {
        static StatementHandler table[TOKEN_COUNT] = {};
        std::fill(std::begin(table), std::end(table), refuseStatement);
        for (int candidate = 0; candidate < TOKEN_COUNT; ++candidate)
            if (findFixedOpcode(candidate))
                table[candidate] = emitFixedOpcode;
        addEncoderRoutes(table);
        addDirectiveRoutes(table);
        for (const Route& route : ROUTES)
            table[route.token] = route.handler;
        return table;
    }();
    return byToken;
}

const bool* tokensWithStandAloneBytes()
{
    static const auto* const byToken = [] {
        static bool table[TOKEN_COUNT] = {};
        for (int candidate = 0; candidate < TOKEN_COUNT; ++candidate)
            table[candidate] = findFixedOpcode(candidate) != nullptr;
        for (const EncoderRoute& route : encoderRoutes())
            table[route.mnemonic] = true;
        for (int data : {TOKEN_DB, TOKEN_DC, TOKEN_DW, TOKEN_DS, TOKEN_LABEL_DEFINITION})
            table[data] = true;
        return table;
    }();
    return byToken;
}
