// Reads the symbol file orbant writes: "NAME: equ 0XXXXh ; last def. pass N".
#pragma once

#include <cstdint>
#include <map>
#include <string>

// Each label's value by its name as written in the file.
std::map<std::string, uint32_t> symbolValues(const std::string& symbolFile);
