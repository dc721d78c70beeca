// What a dump finds out as its blocks go into the image, printed after
// "done" (-v, -w, -c, --db) and kept in the dump log (--log).
#pragma once

#include "checksums.h"
#include "commandLine.h"
#include "mirrorCheck.h"
#include "softwareDatabase.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class DumpReport {
public:
    // database: nullptr without --db or when it could not be read, which
    // databaseProblem then says.
    DumpReport(const Options& options, const SoftwareDatabase* database, std::string databaseProblem);

    void noteImageCreated() { imageCreated_ = true; }
    void noteRetries(int block, int retries);
    void addBlock(int block, const unsigned char* bytes, std::size_t size);
    void addFollowingBytes(const unsigned char* following, const unsigned char* dumped, std::size_t size);
    void noteEveryBlockDumped() { complete_ = true; }

    void print() const;
    // The record's lines about the image, "key: value" each.
    std::string logLines() const;

private:
    struct RetriedBlock {
        int block;
        int retries;
    };

    std::string identification() const;
    std::string retriedBlocks() const;

    const Options& options_;
    const SoftwareDatabase* database_;
    std::string databaseProblem_;
    bool sums_;  // -c, --db and --log need the image's sums
    bool imageCreated_ = false;
    bool complete_ = false;
    std::vector<RetriedBlock> retried_;
    std::optional<MirrorCheck> mirrors_;
    unsigned long long imageSize_ = 0;
    Crc32 crc_;
    Sha1 sha1_;
};
