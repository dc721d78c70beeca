#include "inputLookup.h"

#include "fileSystem.h"
#include "sourceFiles.h"

namespace {

std::vector<std::string> includeDirectories;  // -I, searched in this order

bool isAbsolute(const std::string& name)
{
    return (!name.empty() && (name[0] == '/' || name[0] == '\\')) || (name.size() > 1 && name[1] == ':');
}

std::string directoryOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string joinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty() || directory.back() == '/' || directory.back() == '\\')
        return directory + name;
    return directory + '/' + name;
}

// A candidate that several files match without regard to case ends the
// search too: opening it then names them.
bool foundOrAmbiguous(const std::string& candidate, std::string& found)
{
    if (findExistingFile(candidate, found))
        return true;
    if (!lastLookupAmbiguous())
        return false;
    found = candidate;
    return true;
}

}  // namespace

void setIncludeDirectories(std::vector<std::string> directories)
{
    includeDirectories = std::move(directories);
}

std::string locateInput(const std::string& written)
{
    std::string found;
    if (foundOrAmbiguous(written, found) || isAbsolute(written))
        return found.empty() ? written : found;
    std::string besideNamingFile = directoryOf(currentOpenedPath());
    if (!besideNamingFile.empty() && foundOrAmbiguous(joinPath(besideNamingFile, written), found))
        return found;
    for (const std::string& directory : includeDirectories)
        if (foundOrAmbiguous(joinPath(directory, written), found))
            return found;
    return written;
}

bool inputExists(const std::string& written)
{
    return fileExists((!includeDirectories.empty() ? locateInput(written) : written).c_str());
}
