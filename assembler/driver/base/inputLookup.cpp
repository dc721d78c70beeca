#include "inputLookup.h"

#include "fileSystem.h"
#include "sourceFiles.h"

#include <unordered_map>

namespace {

std::vector<std::string> includeDirectories;  // -I, searched in this order

// Where each INCBIN name was found, by the folder of the file that names it
// and the name. Its data are kept for the run from the first read, so the
// passes after that need only the path: a look-up in each would cost a
// stat per file per pass.
std::unordered_map<std::string, std::string> foundBinaryInputs;

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

// The path of written, found as written, beside the naming file or in the
// include directories; false when nothing is.
bool searchInput(const std::string& written, std::string& found)
{
    if (foundOrAmbiguous(written, found))
        return true;
    if (isAbsolute(written))
        return false;
    std::string besideNamingFile = directoryOf(currentOpenedPath());
    if (!besideNamingFile.empty() && foundOrAmbiguous(joinPath(besideNamingFile, written), found))
        return true;
    for (const std::string& directory : includeDirectories)
        if (foundOrAmbiguous(joinPath(directory, written), found))
            return true;
    return false;
}

}  // namespace

void setIncludeDirectories(std::vector<std::string> directories)
{
    includeDirectories = std::move(directories);
}

std::string locateInput(const std::string& written)
{
    std::string found;
    return searchInput(written, found) ? found : written;
}

std::string locateBinaryInput(const std::string& written)
{
    std::string key = directoryOf(currentOpenedPath()) + '\0' + written;
    auto known = foundBinaryInputs.find(key);
    if (known != foundBinaryInputs.end())
        return known->second;
    std::string found;
    if (!searchInput(written, found))
        return written;
    if (!lastLookupAmbiguous())
        foundBinaryInputs.emplace(std::move(key), found);
    return found;
}

bool inputExists(const std::string& written)
{
    return fileExists((!includeDirectories.empty() ? locateInput(written) : written).c_str());
}
