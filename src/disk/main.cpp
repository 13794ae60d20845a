#include <malloc.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "base/std_fds.h"
#include "disk/cli.h"

int main(int argc, char** argv) {
    quen::hold_standard_descriptors();
    // A reader of the table that goes away (`| head`) must not take the CSV and JSON
    // files with it: the table's write fails like any other, and the files are written.
    std::signal(SIGPIPE, SIG_IGN);
    // Each track side frees what the next one allocates again: memory the allocator gave
    // back to the system between them would cost its page faults again on every track.
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    std::vector<std::string> args(argv + 1, argv + argc);
    quen::disk::DiskIo io;
    // A progress line is for a person watching; in a log it would only be noise.
    io.progress = isatty(STDERR_FILENO) != 0;
    const unsigned cores = std::thread::hardware_concurrency();
    io.default_jobs = cores > 0 ? cores : 1;
    return quen::disk::run_quendisk(args, io);
}
