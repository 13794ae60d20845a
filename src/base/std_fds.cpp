#include "base/std_fds.h"

#include <fcntl.h>
#include <unistd.h>

namespace quen {

void hold_standard_descriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        // open() returns the lowest free descriptor: this one, as the lower ones are held.
        const int held = open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
    }
}

}  // namespace quen
