#include "fileSafety.h"

#include "diagnostics.h"
#include "fileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

struct ProtectionState {
    std::vector<ProtectedFile> protectedFiles;
    // An INCBIN may name a file many times; a name may hold several roles.
    std::unordered_set<std::string> protectedNames;
};

ProtectionState protection;

}  // namespace

bool WholeOutput::open(const std::string& name, std::optional<FileRole> own)
{
    if (const ProtectedFile* file = protectedFileAt(name, own)) {
        printRefusal(name, *file, RefusalWording::AS_OPEN_FAILURE);
        return false;
    }
    return openReplacing(output, name.c_str());
}

void WholeOutput::write(std::string_view piece)
{
    if (failure == 0 && std::fwrite(piece.data(), 1, piece.size(), output.stream) != piece.size())
        failure = errno;
}

WholeOutputResult WholeOutput::finish()
{
    if (failure == 0 && std::fflush(output.stream) != 0)
        failure = errno;
    if (failure != 0) {
        errno = failure;
        abandonReplacing(output);
        return WholeOutputResult::FAILED;
    }
    return finishReplacing(output) ? WholeOutputResult::WRITTEN : WholeOutputResult::FAILED;
}

bool WholeOutput::finishRequested()
{
    if (finish() == WholeOutputResult::WRITTEN)
        return true;
    printWriteFailure(output.name.c_str());
    return false;
}

bool openReplacing(ReplacingOutput& output, const char* name)
{
    output.name = name;
    output.privateName.clear();
    output.stream = isReplaceableInOneStep(name) ? createPrivateFileBeside(name, output.privateName) : nullptr;
    if (!output.stream) {
        output.privateName.clear();
        output.stream = openForWriting(name);
    }
    if (!output.stream)
        printOpenFailure(name, true);
    return output.stream != nullptr;
}

bool finishReplacing(ReplacingOutput& output)
{
    bool written = std::ferror(output.stream) == 0;
    bool closed = std::fclose(output.stream) == 0;
    int failure = errno;
    output.stream = nullptr;
    bool complete = written && closed;
    if (!output.privateName.empty()) {
        if (complete && !replaceFileWith(output.name.c_str(), output.privateName.c_str())) {
            failure = errno;
            complete = false;
        }
        if (!complete)
            removePrivateFile(output.privateName.c_str());
    }
    errno = failure;
    return complete;
}

void abandonReplacing(ReplacingOutput& output)
{
    int failure = errno;
    std::fclose(output.stream);
    output.stream = nullptr;
    if (!output.privateName.empty())
        removePrivateFile(output.privateName.c_str());
    errno = failure;
}

namespace {

const char* roleName(FileRole role)
{
    switch (role) {
    case FileRole::FLATTENED_SOURCE: return "flattened source";
    case FileRole::SYMBOL_FILE: return "symbol file";
    case FileRole::IMAGE: return "image";
    case FileRole::LISTING: return "listing";
    case FileRole::MAKE_RULE: return "make rule";
    case FileRole::INPUT: break;
    }
    return "input";
}

}  // namespace

void protectInput(const std::string& name, const FileIdentity& identity)
{
    if (protection.protectedNames.insert(name + '\0' + roleName(FileRole::INPUT)).second)
        protection.protectedFiles.push_back({name, FileRole::INPUT, identity});
}

void protectFile(const std::string& name, FileRole role)
{
    if (role == FileRole::INPUT)
        protectInput(name, identifyFile(name.c_str()));
    else if (protection.protectedNames.insert(name + '\0' + roleName(role)).second)
        protection.protectedFiles.push_back({name, role, {}});
}

namespace {

// What a protected file is now, for the output of that name and identity.
// An input numbered when noted is taken as it was, unless it has the
// output's number or name: then it is looked at again, as it may have gone
// since and freed its number for a file made after it (by a run beside this
// one), or been replaced under its name (an editor saving it). The other
// files, and inputs that were not there when noted, are looked at now.
FileIdentity currentIdentity(const ProtectedFile& file, const std::string& outputName, const FileIdentity& output)
{
    if (file.role == FileRole::INPUT && file.identity.numbered && file.name != outputName
        && !isSameFile(file.identity, output))
        return file.identity;
    return identifyFile(file.name.c_str());
}

}  // namespace

// The output is identified now: a file put in place by another run since
// frees its number for the next file made.
const ProtectedFile* protectedFileAt(const std::string& name, std::optional<FileRole> own)
{
    FileIdentity identity = identifyFile(name.c_str());
    for (const ProtectedFile& file : protection.protectedFiles)
        if (file.role != own && isSameFile(identity, currentIdentity(file, name, identity)))
            return &file;
    return nullptr;
}

void printRefusal(const std::string& name, const ProtectedFile& file, RefusalWording wording)
{
    if (wording == RefusalWording::NAMING_BOTH)
        printFileFailure("Output " + name + " is the same file as the " + roleName(file.role) + " " + file.name);
    else
        printFileFailure("Error while opening " + name + " for writing! It is "
                         + (file.role == FileRole::INPUT ? "an" : "the") + " " + roleName(file.role) + " of this run");
}

void requireNotProtected(const std::string& name, RefusalWording wording)
{
    if (const ProtectedFile* file = protectedFileAt(name)) {
        printRefusal(name, *file, wording);
        exitWithError();
    }
}

WholeOutputResult writeWholeOutput(const std::string& name, std::string_view content, std::optional<FileRole> own)
{
    WholeOutput output;
    if (!output.open(name, own))
        return WholeOutputResult::REFUSED;
    output.write(content);
    return output.finish();
}

bool writeRequestedOutput(const std::string& name, std::string_view content, FileRole own)
{
    WholeOutput output;
    if (!output.open(name, own))
        return false;
    output.write(content);
    return output.finishRequested();
}
