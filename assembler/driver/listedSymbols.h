// The labels as the listing's table of symbols shows them.
#pragma once

#include "base/listing.h"

#include <vector>

// Every label of the symbol file and every -D name, sorted by the upper-cased
// name, with its value and the place of its definition.
std::vector<ListedSymbol> listedSymbols();
