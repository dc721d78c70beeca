#include "routes.h"
#include "../scanner/tokens.h"

void addDirectiveRoutes(StatementHandler* table)
{
    (void)table;
}
