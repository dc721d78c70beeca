#include "includedTexts.h"

#include "../driver/base/AsmState.h"
#include "../driver/base/sourceFiles.h"
#include "flattenedText.h"
#include "scanner.h"

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
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

using FileNumber = std::pair<std::uint64_t, std::uint64_t>;  // device, number

struct IncludedTextsState {
    std::vector<SetAsideText> setAside;  // the innermost level last
    // The file of each open text, the main source first, the current last.
    std::vector<FileIdentity> openFiles;
    // How often each numbered file is open: an include chain thousands of
    // levels deep looks each new file up without going through every level.
    std::map<FileNumber, int> openNumbers;
};

IncludedTextsState includes;

FileNumber numberOf(const FileIdentity& file)
{
    return {file.device, file.number};
}

void noteOpen(const FileIdentity& file)
{
    includes.openFiles.push_back(file);
    if (file.numbered)
        ++includes.openNumbers[numberOf(file)];
}

void forgetInnermostOpen()
{
    const FileIdentity& file = includes.openFiles.back();
    if (file.numbered) {
        auto entry = includes.openNumbers.find(numberOf(file));
        if (--entry->second == 0)
            includes.openNumbers.erase(entry);
    }
    includes.openFiles.pop_back();
}

}  // namespace

void startIncludedTexts(const FileIdentity& mainSource)
{
    includes.setAside.clear();
    includes.openFiles.clear();
    includes.openNumbers.clear();
    noteOpen(mainSource);
}

std::size_t includeDepth()
{
    return includes.setAside.size();
}

// A numbered file is only ever another numbered one; files without numbers
// are told apart by their names, as isSameFile does.
bool isFileOpen(const FileIdentity& file)
{
    if (file.numbered)
        return includes.openNumbers.count(numberOf(file)) != 0;
    for (const FileIdentity& open : includes.openFiles)
        if (!open.numbered && isSameFile(open, file))
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
    noteOpen(file);
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
    forgetInnermostOpen();
    deleteBuffer(currentBuffer());
    switchToBuffer(includer.buffer.release());
    setSourceName(includer.name.c_str());
    noteFileResume(asmState.sourceName, includer.line);
    asmState.lineNumber = includer.line;
    writeFileMarker(asmState.sourceName);
    includes.setAside.pop_back();
    return true;
}
