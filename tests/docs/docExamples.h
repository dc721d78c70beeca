// The examples of a Markdown reference (docs/language.md): each ```asm block
// with the files it needs and the outcome it must have (tests/docs/README.md).
// An example is a run of fenced blocks with only blank lines between them:
//   ```file NAME / ```hexfile NAME   input files (text; hexadecimal pairs)
//   ```asm [OPTIONS...]              the source, main.asm; orbant OPTIONS main.asm
//   ```bytes [NAME]                  expected bytes of NAME (default orbant.out)
//   ```text NAME [noeol]             expected text of NAME
//   ```messages [noeol]              "status N", then the exact standard error
// At least one check follows each ```asm block; without ```messages the run
// must end with status 0 and print nothing on standard error.
#pragma once

#include "caseFile.h"

#include <optional>
#include <string>
#include <vector>

struct DocExample {
    int line = 0;                      // of the ```asm fence, counted from 1
    std::vector<std::string> options;  // orbant's options, before the source
    std::string source;                // written as main.asm
    std::vector<ExpectedFile> inputs;  // files written before the run
    std::vector<ExpectedFile> images;  // expected bytes of output files
    std::vector<ExpectedFile> texts;   // expected text of output files
    int status = 0;
    std::string standardError;  // exactly; empty unless a ```messages block says otherwise
};

// A fault in the document's examples: an unchecked or malformed block.
struct DocProblem {
    int line = 0;
    std::string text;
};

struct DocExamples {
    std::vector<DocExample> examples;
    std::vector<DocProblem> problems;
};

DocExamples parseDocExamples(const std::string& markdown);
