// A make rule for the image: it depends on the main source and on every
// file that INCLUDE and INCBIN read, so a Makefile can include the rule.
// Each of those files also gets a rule of its own without prerequisites or
// recipe, so that make goes on when one is renamed or deleted.
#pragma once

#include <string>

enum class DependencyResult {
    WRITTEN,
    NOT_WRITABLE,  // a name holds a line end: nothing written, any older file removed, said why
    FAILED,        // the file could not be written: said why
};

// Writes "IMAGE: SOURCES..." and "SOURCE:" for each to name, whole.
DependencyResult writeDependencyFile(const std::string& name, const std::string& imageName);
