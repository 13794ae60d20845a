// Runs quendisk in-process and captures what it prints.
#pragma once

#include <string>
#include <vector>

#include "disk/cli.h"
#include "support/capture.h"
#include "support/run_helper.h"

namespace quen::testing {

inline RunResult run_disk(const std::vector<std::string>& args) {
    Capture out;
    Capture err;
    disk::DiskIo io;
    io.out = out.get();
    io.err = err.get();
    io.default_jobs = 2;
    RunResult r;
    r.code = disk::run_quendisk(args, io);
    r.out = out.text();
    r.err = err.text();
    return r;
}

}  // namespace quen::testing
