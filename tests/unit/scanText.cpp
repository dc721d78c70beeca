#include "scanText.h"

#include "driver/base/AsmState.h"
#include "driver/base/fileSystem.h"
#include "scanner/scanner.h"
#include "scanner/tokenStream.h"

#include <cstdio>
#include <stdexcept>

void scanText(const std::string& text)
{
    static FILE* stream = nullptr;
    if (stream)
        std::fclose(stream);
    stream = std::tmpfile();
    if (!stream)
        throw std::runtime_error("no temporary file");
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    asmState.pass = 1;
    asmState.finalPass = 0;
    asmState.unresolvedCount = 0;
    asmState.cpuMode = CPU_MODE_R800;
    restartInput(stream, reportedSize(stream));
    advanceToken();
}
