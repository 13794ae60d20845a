#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "disk/cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    quen::disk::DiskIo io;
    // A progress line is for a person watching; in a log it would only be noise.
    io.progress = isatty(STDERR_FILENO) != 0;
    const unsigned cores = std::thread::hardware_concurrency();
    io.default_jobs = cores > 0 ? cores : 1;
    return quen::disk::run_quendisk(args, io);
}
