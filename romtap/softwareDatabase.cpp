#include "softwareDatabase.h"

#include "oneLine.h"
#include "xmlNesting.h"

#include <rapidxml.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

// The real database is about 1.2 MB; the parser's nodes take several times
// a file's size, so a larger file is refused rather than read.
constexpr std::size_t LARGEST_DATABASE = 8u << 20;
constexpr std::size_t DEEPEST_NESTING = 256;

using Node = rapidxml::xml_node<char>;

[[noreturn]] void fail(const std::string& reason)
{
    throw DatabaseError{reason};
}

// The whole file, zero-terminated for the parser.
std::vector<char> readWholeFile(const char* path)
{
    std::error_code error;
    // A FIFO or a device would block or never end.
    if (std::filesystem::exists(path, error) && !std::filesystem::is_regular_file(path, error))
        fail("not a regular file");
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file)
        fail(errno != 0 ? std::strerror(errno) : "cannot open it");
    const std::uintmax_t expected = std::filesystem::file_size(path, error);
    if (!error && expected > LARGEST_DATABASE)
        fail("larger than 8 MiB");
    // One byte more than expected tells a file that grew meanwhile.
    std::vector<char> text(error ? LARGEST_DATABASE + 1 : static_cast<std::size_t>(expected) + 1);
    const std::size_t size = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get()))
        fail(errno != 0 ? std::strerror(errno) : "read error");
    if (size > LARGEST_DATABASE || (!error && size > expected))
        fail(size > LARGEST_DATABASE ? "larger than 8 MiB" : "it changed while it was read");
    text.resize(size);
    text.push_back('\0');
    return text;
}

// Counted in the text as read: parsing in place rewrites what it has passed.
std::size_t lineAt(const std::vector<char>& original, std::ptrdiff_t offset)
{
    return static_cast<std::size_t>(std::count(original.begin(), original.begin() + offset, '\n')) + 1;
}

std::string childText(const Node& parent, const char* name)
{
    const Node* child = parent.first_node(name);
    return child != nullptr ? oneLine(std::string_view(child->value(), child->value_size())) : std::string();
}

std::string lowerCase(std::string text)
{
    for (char& character : text)
        character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
    return text;
}

bool isDumpImage(const Node& node)
{
    const std::string_view name(node.name(), node.name_size());
    return name == "rom" || name == "megarom";
}

void addDumps(const Node& software, std::vector<KnownDump>& dumps)
{
    KnownDump entry{"", childText(software, "title"), childText(software, "company"), childText(software, "year"), ""};
    for (const Node* dump = software.first_node("dump"); dump != nullptr; dump = dump->next_sibling("dump")) {
        for (const Node* image = dump->first_node(); image != nullptr; image = image->next_sibling()) {
            entry.sha1 = lowerCase(childText(*image, "hash"));
            if (!isDumpImage(*image) || entry.sha1.empty())
                continue;
            entry.mapperType = childText(*image, "type");
            dumps.push_back(entry);
        }
    }
}

}  // namespace

SoftwareDatabase SoftwareDatabase::load(const char* path)
{
    const std::vector<char> original = readWholeFile(path);
    if (deepestNesting(original.data()) > DEEPEST_NESTING)
        fail("elements nested deeper than " + std::to_string(DEEPEST_NESTING));
    std::vector<char> text = original;  // parsed in place
    // Holds a 64 KiB pool: not for the stack.
    auto document = std::make_unique<rapidxml::xml_document<char>>();
    try {
        document->parse<rapidxml::parse_default>(text.data());
    } catch (const rapidxml::parse_error& error) {
        const std::size_t line = lineAt(original, error.where<char>() - text.data());
        fail("XML error at line " + std::to_string(line) + ": " + error.what());
    }
    const Node* root = document->first_node("softwaredb");
    if (root == nullptr)
        fail("no softwaredb element");
    SoftwareDatabase database;
    for (const Node* software = root->first_node("software"); software != nullptr;
         software = software->next_sibling("software"))
        addDumps(*software, database.dumps_);
    return database;
}

const KnownDump* SoftwareDatabase::find(std::string_view sha1) const
{
    const std::string wanted = lowerCase(std::string(sha1));
    const auto found
        = std::find_if(dumps_.begin(), dumps_.end(), [&wanted](const KnownDump& dump) { return dump.sha1 == wanted; });
    return found != dumps_.end() ? &*found : nullptr;
}
