// A FILE* that closes itself when its owner goes, for every file a run or a disk opens.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace quen {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

// A file descriptor that closes itself when its owner goes.
struct OwnedFd {
    int fd;
    explicit OwnedFd(int d) : fd(d) {}
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    ~OwnedFd() {
        if (fd >= 0) close(fd);
    }
};

// Closes the file; true when every write reached it and the close went through, so that
// a full disk does not pass for a whole file.
inline bool close_checked(OwnedFile& f) {
    FILE* raw = f.release();
    if (raw == nullptr) return true;
    const bool write_failed = std::ferror(raw) != 0;
    const bool close_failed = std::fclose(raw) != 0;
    return !write_failed && !close_failed;
}

}  // namespace quen
