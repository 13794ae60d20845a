#include <unistd.h>

#include <string>
#include <vector>

#include "base/std_fds.h"
#include "driver/run.h"

int main(int argc, char** argv) {
    quen::hold_standard_descriptors();
    std::vector<std::string> args(argv + 1, argv + argc);
    quen::RunIo io;
    // Only a person at a terminal can answer the key wait of an abnormal end.
    io.wait_for_key = isatty(STDIN_FILENO) != 0;
    return quen::run_quenanalyze(args, io);
}
