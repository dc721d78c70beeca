// Runs the rows of a `.table` file through orbant and checks each row's
// outcome. The rows that expect bytes (and maybe warnings) run together, all
// rows of one CPU mode in one orbant run; a row that expects an error runs
// alone, since an error ends the run. When the joint run differs, its rows
// run again one by one, so that the failure names the row with its source,
// expected and actual bytes.
#pragma once

#include "tableFile.h"

#include <string>
#include <vector>

void checkTable(const std::vector<TableRow>& rows);

// The source of a joint run: each row at address 0, as when it runs alone,
// after a label that records where its bytes start in the image.
std::string jointSource(const std::string& mode, const std::vector<const TableRow*>& rows);

// How the image, symbol file and warnings of a joint run differ from the
// rows' expected bytes and warnings, one line per differing row; empty when
// nothing differs. A warning belongs to the row whose line it names.
std::string jointDifferences(const std::vector<const TableRow*>& rows, const std::string& image,
                             const std::string& symbolFile, const std::string& standardError);
