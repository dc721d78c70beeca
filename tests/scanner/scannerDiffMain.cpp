// Compares the re2c scanner with the flex reference on each file named:
//   scanner_diff FILE...
// A difference is printed and ends the program with abort(), so that a
// fuzzer running it counts the input as a crash.
#include "scannerDiff.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("Usage: scanner_diff FILE...\n", stderr);
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "%s: cannot be read\n", argv[i]);
            return 2;
        }
        std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string difference = compareScanners(source);
        if (!difference.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[i], difference.c_str());
            std::abort();
        }
    }
    return 0;
}
