#include "base/fileSystem.h"
#include "passDriver.h"

int main(int argc, char** argv)
{
    // Without a usable descriptor there is nowhere to say so.
    if (!openStandardStreams())
        return 1;
    removePrivateFilesWhenInterrupted();
    failWritesPastFileSizeLimit();
    return runAssembler(argc, argv);
}
