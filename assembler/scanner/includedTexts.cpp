#include "includedTexts.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/sourceFiles.h"
#include "flattenedText.h"
#include "scanner.h"

#include <memory>
#include <vector>

namespace {

// One open include level: the including text, set aside while the included
// one is scanned.
struct SetAsideText {
    std::string name;
    // Its text, scanned up to the include: owned here, so that it is freed
    // however the run ends.
    std::unique_ptr<ScanBuffer, ScanBufferDeleter> buffer;
    int line = 0;
};

struct IncludedTextsState {
    std::vector<SetAsideText> setAside;  // the innermost level last
    // The file of each open text, the main source first, the current last.
    std::vector<FileIdentity> openFiles;
};

IncludedTextsState includes;

}  // namespace

void startIncludedTexts(const FileIdentity& mainSource)
{
    includes.setAside.clear();
    includes.openFiles.assign(1, mainSource);
}

std::size_t includeDepth()
{
    return includes.setAside.size();
}

bool isFileOpen(const FileIdentity& file)
{
    for (const FileIdentity& open : includes.openFiles)
        if (isSameFile(open, file))
            return true;
    return false;
}

void setIncluderAside(const std::string& name, const FileIdentity& file)
{
    SetAsideText includer;
    includer.name = asmState.sourceName;
    includer.buffer.reset(currentBuffer());
    includer.line = asmState.lineNumber;
    includes.setAside.push_back(std::move(includer));
    setSourceName(name.c_str());
    includes.openFiles.push_back(file);
}

void scanIncludedText(FILE* stream, std::int64_t reportedSize)
{
    switchToBuffer(createBuffer(stream, reportedSize));
}

bool resumeIncluder()
{
    if (includes.setAside.empty())
        return false;
    SetAsideText& includer = includes.setAside.back();
    includes.openFiles.pop_back();
    deleteBuffer(currentBuffer());
    switchToBuffer(includer.buffer.release());
    setSourceName(includer.name.c_str());
    noteFileResume(asmState.sourceName, includer.line);
    asmState.lineNumber = includer.line;
    writeFileMarker(asmState.sourceName);
    includes.setAside.pop_back();
    return true;
}
