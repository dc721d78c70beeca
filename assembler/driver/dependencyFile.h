// A make rule for the image: it depends on the main source and on every
// file that INCLUDE and INCBIN read, so a Makefile can include the rule.
#pragma once

#include <string>

// Writes "IMAGE: SOURCES..." to name, whole; false after printing why not.
bool writeDependencyFile(const std::string& name, const std::string& imageName);
