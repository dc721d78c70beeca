#include "dumpReport.h"

#include "oneLine.h"

#include <cstdio>
#include <sstream>
#include <utility>

DumpReport::DumpReport(const Options& options, const SoftwareDatabase* database, std::string databaseProblem)
    : options_(options), database_(database), databaseProblem_(std::move(databaseProblem)),
      sums_(options.checksums || options.databasePath != nullptr || options.logPath != nullptr)
{
    if (options.sizeWarnings)
        mirrors_.emplace(options.blockCount, options.blockSize);
}

void DumpReport::noteRetries(int block, int retries)
{
    if (retries > 0)
        retried_.push_back({block, retries});
}

void DumpReport::addBlock(int block, const unsigned char* bytes, std::size_t size)
{
    if (mirrors_)
        mirrors_->addBlock(block, bytes);
    if (!sums_)
        return;
    imageSize_ += size;
    crc_.update(bytes, size);
    sha1_.update(bytes, size);
}

void DumpReport::addFollowingBytes(const unsigned char* following, const unsigned char* dumped, std::size_t size)
{
    if (mirrors_)
        mirrors_->addFollowingBytes(following, dumped, size);
}

void DumpReport::print() const
{
    if (options_.verify) {
        for (const RetriedBlock& entry : retried_)
            std::printf("Block %d read differently at first; verified after %d %s.\n", entry.block, entry.retries,
                        entry.retries == 1 ? "retry" : "retries");
        std::fputs("Verified: every block gave the same bytes twice in a row.\n", stdout);
    }
    if (mirrors_)
        std::fputs(mirrors_->warning().c_str(), stdout);
    if (options_.checksums || options_.databasePath != nullptr) {
        std::printf("Size:  %llu bytes\n", imageSize_);
        std::printf("CRC32: %s\n", toHex(crc_.value()).c_str());
        std::printf("SHA-1: %s\n", toHex(sha1_.digest()).c_str());
    }
    if (database_ != nullptr)
        std::printf("%s\n", identification().c_str());
}

std::string DumpReport::identification() const
{
    const KnownDump* known = database_->find(toHex(sha1_.digest()));
    if (known == nullptr)
        return "Not among the " + std::to_string(database_->dumpCount()) + " dumps of " + options_.databasePath;
    std::string origin = known->company;
    if (!known->year.empty())
        origin += (origin.empty() ? "" : ", ") + known->year;
    return "Identified: " + known->title + (origin.empty() ? "" : " (" + origin + ")") + ", mapper "
           + (known->mapperType.empty() ? "not given" : known->mapperType);
}

std::string DumpReport::retriedBlocks() const
{
    std::string list;
    for (const RetriedBlock& entry : retried_) {
        list += (list.empty() ? "" : ", ") + std::to_string(entry.block) + " (" + std::to_string(entry.retries)
                + (entry.retries == 1 ? " retry)" : " retries)");
    }
    return list.empty() ? "none" : list;
}

std::string DumpReport::logLines() const
{
    std::string lines;
    if (imageCreated_) {
        lines += "image size: " + std::to_string(imageSize_) + " bytes\n";
        lines += "CRC32: " + toHex(crc_.value()) + "\n";
        lines += "SHA-1: " + toHex(sha1_.digest()) + "\n";
    } else {
        lines += "image size: none\nCRC32: none\nSHA-1: none\n";
    }
    const char* verification = !options_.verify ? "off"
                               : complete_      ? "every block gave the same bytes twice in a row"
                                                : "not finished";
    lines += std::string("verification: ") + verification + "\n";
    lines += "rereads: " + retriedBlocks() + "\n";
    if (mirrors_ && complete_) {
        std::istringstream warnings(mirrors_->warning());
        for (std::string line; std::getline(warnings, line);)
            lines += "warning: " + line + "\n";
    }
    std::string identified = "none";
    if (!databaseProblem_.empty())
        identified = databaseProblem_;
    else if (database_ != nullptr && complete_)
        identified = identification();
    return lines + "identification: " + quotedWhereNeeded(identified) + "\n";
}
