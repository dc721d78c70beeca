// Reading input files and telling files apart: a text of unknown length read
// whole, a file identified by the handle it was opened through, names of
// files that exist or not yet, and outputs checked against inputs noted
// earlier.
#include "driver/base/fileSafety.h"
#include "driver/base/fileSystem.h"
#include "scanner/sourceReader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A folder of its own, the working directory while it lives.
class ScratchFolder {
public:
    ScratchFolder() : previous_(fs::current_path())
    {
        std::string pattern = (fs::temp_directory_path() / "orbant-inputs-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
        fs::current_path(path_);
    }
    ~ScratchFolder()
    {
        fs::current_path(previous_);
        fs::remove_all(path_);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

private:
    fs::path previous_;
    fs::path path_;
};

void writeFile(const std::string& name, const std::string& content)
{
    std::ofstream(name, std::ios::binary) << content;
}

// A pipe reports no size: the text is read in blocks to its end, as far as
// a Ctrl-Z, with its CR LF line ends made LF.
TEST(InputFiles, SourceOfUnknownLengthReadWhole)
{
    std::string line = " DB \"0123456789ABCDEF\"\r\n";
    std::string written, expected;
    while (written.size() < 300000) {
        written += line;
        expected += " DB \"0123456789ABCDEF\"\n";
    }
    written += "\x1A ignored after the end of text";
    int ends[2];
    ASSERT_EQ(0, pipe(ends));
    std::thread writer([&] {
        for (std::size_t done = 0; done < written.size();) {
            ssize_t put = write(ends[1], written.data() + done, written.size() - done);
            if (put <= 0)
                break;
            done += static_cast<std::size_t>(put);
        }
        close(ends[1]);
    });
    FILE* stream = fdopen(ends[0], "rb");
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(-1, reportedSize(stream));
    SourceText text;
    readSourceText(stream, reportedSize(stream), text);
    writer.join();
    std::fclose(stream);
    EXPECT_EQ(expected.size(), text.size);
    EXPECT_TRUE(text.view() == expected);
    EXPECT_EQ('\0', text.bytes[text.size]);
}

// The handle tells what the name does, and the size; the text is read whole
// through it, and nothing of a second text is left of the first.
TEST(InputFiles, OpenedFileIdentifiedByItsHandle)
{
    ScratchFolder folder;
    writeFile("a.asm", " NOP\r\n HALT\r\n");
    writeFile("b.asm", " RET\n");
    OpenedFile opened;
    FILE* stream = openForReading("a.asm", &opened);
    ASSERT_NE(nullptr, stream);
    EXPECT_EQ(13, opened.size);
    EXPECT_TRUE(opened.identity.numbered);
    EXPECT_TRUE(isSameFile(opened.identity, identifyFile("./a.asm")));
    EXPECT_FALSE(isSameFile(opened.identity, identifyFile("b.asm")));
    SourceText text;
    readSourceText(stream, opened.size, text);
    std::fclose(stream);
    EXPECT_TRUE(text.view() == " NOP\n HALT\n");
    stream = openForReading("b.asm");
    ASSERT_NE(nullptr, stream);
    readSourceText(stream, reportedSize(stream), text);
    std::fclose(stream);
    EXPECT_TRUE(text.view() == " RET\n");
}

// A folder opens nowhere for reading, with the system's reason; a FIFO is
// refused without waiting for a writer.
TEST(InputFiles, OnlyRegularFilesOpenForReading)
{
    ScratchFolder folder;
    fs::create_directory("sub");
    errno = 0;
    EXPECT_EQ(nullptr, openForReading("sub"));
    EXPECT_EQ(EISDIR, errno);
    EXPECT_STREQ(std::strerror(EISDIR), openFailureReason());
    ASSERT_EQ(0, mkfifo("pipe", 0600));
    EXPECT_EQ(nullptr, openForReading("pipe"));
    EXPECT_STREQ("Not a regular file", openFailureReason());
}

// A file that exists is never one that does not; two that do not are the
// same where their folders and names are, however the folders are named.
TEST(InputFiles, NamesOfFilesNotThereYet)
{
    ScratchFolder folder;
    writeFile("here.bin", "x");
    fs::create_directory("data");
    fs::create_directory_symlink("data", "link");
    EXPECT_FALSE(isSameFile(identifyFile("here.bin"), identifyFile("absent.bin")));
    EXPECT_TRUE(isSameFile(identifyFile("absent.bin"), identifyFile("./absent.bin")));
    EXPECT_TRUE(isSameFile(identifyFile("data/new.bin"), identifyFile("link/new.bin")));
    EXPECT_TRUE(isSameFile(identifyFile("data/new.bin"), identifyFile("link/../data/new.bin")));
    EXPECT_FALSE(isSameFile(identifyFile("data/new.bin"), identifyFile("new.bin")));
    EXPECT_FALSE(isSameFile(identifyFile("data/new.bin"), identifyFile("data/other.bin")));
    EXPECT_TRUE(isSameFile(identifyFile("missing/new.bin"), identifyFile("./missing/new.bin")));
    EXPECT_FALSE(isSameFile(identifyFile("missing/new.bin"), identifyFile("missing/other.bin")));
}

// An input noted when read is not looked at again for an output of another
// name and number. One replaced since under its name (as an editor saves)
// still refuses an output of that name; one gone since, whose number a newer
// file took, does not refuse that file.
TEST(InputFiles, OutputsCheckedAgainstInputsNotedEarlier)
{
    ScratchFolder folder;
    writeFile("kept.asm", " NOP\n");
    writeFile("saved.asm", " NOP\n");
    for (const char* name : {"kept.asm", "saved.asm"}) {
        OpenedFile opened;
        FILE* stream = openForReading(name, &opened);
        ASSERT_NE(nullptr, stream);
        std::fclose(stream);
        protectInput(name, opened.identity);
    }
    EXPECT_EQ(nullptr, protectedFileAt("out.bin"));
    const ProtectedFile* kept = protectedFileAt("./kept.asm");
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ("kept.asm", kept->name);

    writeFile("saved.asm.new", " HALT\n");
    fs::rename("saved.asm.new", "saved.asm");
    const ProtectedFile* saved = protectedFileAt("saved.asm");
    ASSERT_NE(nullptr, saved);
    EXPECT_EQ("saved.asm", saved->name);

    // gone.asm was noted with the number that newer.bin has now.
    writeFile("newer.bin", "x");
    protectInput("gone.asm", identifyFile("newer.bin"));
    EXPECT_EQ(nullptr, protectedFileAt("newer.bin"));
}

}  // namespace
