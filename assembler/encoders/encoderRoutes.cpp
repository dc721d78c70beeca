#include "../statements/routes.h"
#include "../scanner/tokens.h"

void addEncoderRoutes(StatementHandler* table)
{
    (void)table;
}
