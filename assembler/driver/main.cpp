#include "passDriver.h"

int main(int argc, char** argv)
{
    return runAssembler(argc, argv);
}
