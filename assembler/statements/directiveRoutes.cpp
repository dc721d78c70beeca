#include "routes.h"

#include "../scanner/tokens.h"
#include "conditionals.h"
#include "dataDirectives.h"
#include "fileDirectives.h"

void addDirectiveRoutes(StatementHandler* table)
{
    table[TOKEN_DB] = dbDirective;
    table[TOKEN_DC] = dcDirective;
    table[TOKEN_DW] = dwDirective;
    table[TOKEN_DS] = dsDirective;
    table[TOKEN_RB] = rbDirective;
    table[TOKEN_RW] = rwDirective;

    table[TOKEN_IF] = ifDirective;
    table[TOKEN_IFDEF] = ifdefDirective;
    table[TOKEN_IFEXIST] = ifexistDirective;
    table[TOKEN_ELSE] = elseDirective;
    table[TOKEN_ENDIF] = endifDirective;

    table[TOKEN_FNAME] = fnameDirective;
    table[TOKEN_FORG] = forgDirective;
    table[TOKEN_INCBIN] = incbinDirective;
}
