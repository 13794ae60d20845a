// The whole-disk command, callable in-process.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace quen::disk {

struct DiskIo {
    FILE* out = stdout;
    FILE* err = stderr;
    bool progress = false;  // a progress line on err (only sensible on a terminal)
    unsigned default_jobs = 1;
};

// Exit codes: every file analysed, some failed, a usage error.
enum DiskExit : int { kAllAnalysed = 0, kSomeFailed = 1, kUsageError = 2 };

// Runs quendisk on `args` (the arguments after the program name).
int run_quendisk(const std::vector<std::string>& args, const DiskIo& io);

}  // namespace quen::disk
