#include "includedTexts.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/sourceFiles.h"
#include "flattenedText.h"
#include "scanner.h"

#include <memory>
#include <unordered_map>
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
    // How often each name is open, current text included.
    std::unordered_map<std::string, int> openNames;
};

IncludedTextsState includes;

void forgetOpenName(const char* name)
{
    auto entry = includes.openNames.find(name);
    if (entry != includes.openNames.end() && --entry->second == 0)
        includes.openNames.erase(entry);
}

}  // namespace

void startIncludedTexts()
{
    includes.setAside.clear();
    includes.openNames.clear();
    ++includes.openNames[asmState.sourceName];
}

std::size_t includeDepth()
{
    return includes.setAside.size();
}

bool isTextOpen(const std::string& name)
{
    return includes.openNames.count(name) != 0;
}

void setIncluderAside(const std::string& name)
{
    SetAsideText includer;
    includer.name = asmState.sourceName;
    includer.buffer.reset(currentBuffer());
    includer.line = asmState.lineNumber;
    includes.setAside.push_back(std::move(includer));
    setSourceName(name.c_str());
    ++includes.openNames[name];
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
    forgetOpenName(asmState.sourceName);
    deleteBuffer(currentBuffer());
    switchToBuffer(includer.buffer.release());
    setSourceName(includer.name.c_str());
    noteFileResume(asmState.sourceName, includer.line);
    asmState.lineNumber = includer.line;
    writeFileMarker(asmState.sourceName);
    includes.setAside.pop_back();
    return true;
}
