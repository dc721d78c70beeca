// The command line and the loop of assembling passes.
#pragma once

int runAssembler(int argc, char** argv);
