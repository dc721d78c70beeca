#include "dumpLog.h"

#include "checksums.h"
#include "consoleOutput.h"
#include "oneLine.h"
#include "platformSystem.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

namespace {

std::string utcNow()
{
    const std::time_t now = std::time(nullptr);
    const std::tm* utc = std::gmtime(&now);
    char text[32] = "unknown";
    if (utc != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

std::string hexValue(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
    return text;
}

// Of the file's contents; "unreadable" when it cannot be read.
std::string sha1OfFile(const std::string& path)
{
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        return "unreadable";
    Sha1 sha1;
    std::vector<unsigned char> chunk(1 << 16);
    for (std::size_t size; (size = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;)
        sha1.update(chunk.data(), size);
    return std::ferror(file.get()) ? "unreadable" : toHex(sha1.digest());
}

// Failure messages may span lines, and begin on a fresh one: one line here.
void complain(const char* path, const std::string& reason)
{
    std::fprintf(stderr, "romtap: cannot write the log %s: %s\n", path, reason.c_str());
}

}  // namespace

DumpLog::DumpLog(const Options& options) : options_(options), startTime_(utcNow())
{
    if (options.logPath == nullptr)
        return;
    // A record appended to the database would spoil it for the next run.
    if (options.databasePath != nullptr && platform::isSameFile(options.logPath, options.databasePath)) {
        complain(options.logPath, "this is the software database");
        std::exit(1);
    }
    file_ = std::make_unique<platform::AppendOnlyFile>(options.logPath);
    if (!file_->isOpen()) {
        complain(options.logPath, file_->error());
        std::exit(1);
    }
}

void DumpLog::noteLibrary(const std::string& filePath)
{
    if (file_ == nullptr || filePath.empty())
        return;
    // Known only once bound: the run ends there, the library unbound on the
    // way out and left as it was (the log is dropped unwritten).
    if (platform::isSameFile(options_.logPath, filePath.c_str())) {
        file_.reset();
        complain(options_.logPath, "this is the MSX Game Reader library itself");
        throw RunFailure{""};
    }
    libraryName_ = filePath.substr(filePath.find_last_of("/\\") + 1);
    librarySha1_ = sha1OfFile(filePath);
}

bool DumpLog::finish(const DumpReport& report, const std::string& status, const std::string& message)
{
    if (file_ == nullptr)
        return true;
    std::string record = "date: " + startTime_ + "\n";
    record += std::string("version: ") + versionLine() + "\n";
    record += "reader library: " + libraryName_ + "\n";
    record += "reader library SHA-1: " + librarySha1_ + "\n";
    record += "slot: " + slot_ + "\n";
    record += "-b: " + hexValue(options_.beginAddress) + "\n";
    record += "-s: " + hexValue(options_.blockSize) + "\n";
    record += "-m: " + hexValue(options_.mapperAddress) + "\n";
    record += "-n: " + std::to_string(options_.blockCount) + "\n";
    record += "image: " + quotedWhereNeeded(options_.fileName) + "\n";
    record += report.logLines();
    record += "status: " + status + "\n";
    record += "message: " + oneLine(message) + "\n\n";
    if (file_->append(record))
        return true;
    complain(options_.logPath, file_->error());
    return false;
}
