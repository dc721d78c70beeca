// A software database of known cartridge dumps, in the XML format of the
// softwaredb.xml that MSX emulators ship: software entries with a title,
// company and year, each with dumps (<rom> or <megarom>) given by SHA-1 and
// usually by mapper type.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct KnownDump {
    std::string sha1;  // lower-case hexadecimal
    std::string title;
    std::string company;
    std::string year;
    std::string mapperType;  // "" where the entry gives none
};

// Why a database could not be used: the file or its contents.
struct DatabaseError {
    std::string reason;
};

class SoftwareDatabase {
public:
    // Throws DatabaseError.
    static SoftwareDatabase load(const char* path);

    // The first dump in the file with this SHA-1 (either letter case), or nullptr.
    const KnownDump* find(std::string_view sha1) const;
    std::size_t dumpCount() const { return dumps_.size(); }

private:
    std::vector<KnownDump> dumps_;
};
