// Dumping a cartridge into a ROM image file, block by block.
#pragma once

#include "command_line.h"

void dumpRom(const Options &options);
