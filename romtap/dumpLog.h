// --log: one record for each dump run, appended to the log file in one
// write: "key: value" lines, then a blank line.
#pragma once

#include "commandLine.h"
#include "dumpReport.h"
#include "platformSystem.h"

#include <memory>
#include <string>

class DumpLog {
public:
    // Opens the log at once (nothing without --log), so that a log that
    // cannot be written ends the run before the reader is touched; notes the
    // time the run started.
    explicit DumpLog(const Options& options);

    void noteLibrary(const std::string& filePath);
    void noteSlot(int slot) { slot_ = std::to_string(slot); }

    // Appends the record. Returns false, having said why on standard error,
    // when the log could not take it.
    // status: the exit status, or "interrupted".
    bool finish(const DumpReport& report, const std::string& status, const std::string& message);

private:
    const Options& options_;
    std::unique_ptr<platform::AppendOnlyFile> file_;
    std::string startTime_;
    std::string libraryName_ = "none";
    std::string librarySha1_ = "none";
    std::string slot_ = "none";
};
