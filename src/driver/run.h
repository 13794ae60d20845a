// One whole analysis, callable in-process.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace quen {

struct RunIo {
    FILE* out = stdout;        // the process's standard output
    FILE* err = stderr;        // the process's standard error
    bool wait_for_key = false; // abnormal ends wait for a key press (only on a terminal)
};

// Runs the analyser on `args` (the arguments after the program name) and returns
// the exit code: 1 after a completed run, 2 after an abnormal end. Plot files go to the
// current directory.
int run_quenanalyze(const std::vector<std::string>& args, const RunIo& io);

}  // namespace quen
