#include "driver/dependencyFile.h"
#include "driver/base/sourceFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string readWhole(const std::string& name)
{
    std::ifstream file(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Names that make would split or expand are escaped; each input once, main
// source first, then includes, then binary files, and each again as a
// target of its own. A "%" is escaped only where it would make a pattern.
TEST(DependencyFile, EscapesWhatMakeReadsSpecially)
{
    noteFileStart("my game.asm", "src/my game.asm");
    noteFileStart("a#b.inc", "src/a#b.inc");
    noteFileResume("my game.asm", 1);
    noteFileStart("a#b.inc", "src/a#b.inc");
    noteFileResume("my game.asm", 2);
    noteBinaryInput("gfx/$tiles set.bin");
    noteBinaryInput("gfx/$tiles set.bin");
    noteBinaryInput("c:/50%.bin");
    std::string name = (std::filesystem::temp_directory_path() / "orbant_deps_test.d").string();
    ASSERT_EQ(DependencyResult::WRITTEN, writeDependencyFile(name, "out/my game%.rom"));
    EXPECT_EQ("out/my\\ game\\%.rom: src/my\\ game.asm src/a\\#b.inc gfx/$$tiles\\ set.bin c\\:/50%.bin\n"
              "src/my\\ game.asm:\n"
              "src/a\\#b.inc:\n"
              "gfx/$$tiles\\ set.bin:\n"
              "c\\:/50\\%.bin:\n",
              readWhole(name));
    std::remove(name.c_str());
}

}  // namespace
