// Dumping a cartridge into a ROM image file, block by block.
#pragma once

#include "commandLine.h"

void dumpRom(const Options& options);
