// The command line and the loop of assembling passes.
#pragma once

// Opens sourceName for reading into inputFile; prints the failure.
bool openSource();
int runAssembler(int argc, char** argv);
