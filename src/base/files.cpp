#include "base/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quen {

std::string path_in(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

OutputFile::OutputFile(std::string path, Replace how) : path_(std::move(path)) {
    // A device or a pipe is written where it is: a file renamed over it would take its
    // name and leave the device unwritten.
    struct stat st {};
    if (how == Replace::kWhole && stat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) how = Replace::kInPlace;
    if (how == Replace::kInPlace) {
        file_.reset(std::fopen(path_.c_str(), "w"));
        if (!file_) error_ = std::strerror(errno);
        use_large_write_buffer();
        return;
    }
    // mkstemp picks a name nobody else holds, in the folder of the final name so that
    // the rename stays on one file system.
    std::string templ = path_ + ".tmpXXXXXX";
    const int fd = mkstemp(templ.data());
    if (fd < 0) {
        error_ = std::strerror(errno);
        return;
    }
    // mkstemp makes the file private; the final file gets the usual rights.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_.reset(fdopen(fd, "w"));
    if (!file_) {
        error_ = std::strerror(errno);
        close(fd);
        unlink(templ.c_str());
        return;
    }
    temp_path_ = std::move(templ);
    use_large_write_buffer();
}

void OutputFile::use_large_write_buffer() {
    // A report runs to tens of kilobytes: written in a few calls rather than one per
    // 4 KiB, which on a disk of many tracks is a good part of what writing costs.
    constexpr size_t kBufferBytes = size_t{64} << 10;
    if (!file_) return;
    buffer_ = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    std::setvbuf(file_.get(), buffer_.get(), _IOFBF, kBufferBytes);
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::commit() {
    if (!file_) {
        if (error_.empty()) error_ = "not open";
        return false;
    }
    errno = 0;
    if (!close_checked(file_)) {
        error_ = errno != 0 ? std::strerror(errno) : "write error";
        if (!temp_path_.empty()) unlink(temp_path_.c_str());
        temp_path_.clear();
        return false;
    }
    if (temp_path_.empty()) return true;
    if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
        error_ = std::strerror(errno);
        unlink(temp_path_.c_str());
        temp_path_.clear();
        return false;
    }
    temp_path_.clear();
    return true;
}

void OutputFile::abandon() {
    file_.reset();
    if (!temp_path_.empty()) unlink(temp_path_.c_str());
    temp_path_.clear();
}

std::string write_file(const std::string& path, Replace how, const std::function<void(FILE*)>& write) {
    OutputFile f(path, how);
    if (!f.is_open()) return f.error();
    write(f.get());
    if (!f.commit()) return f.error();
    return {};
}

int open_regular_file(const std::string& name) {
    // Non-blocking, so that a FIFO's name cannot stall the run before its type is known;
    // a name swapped between the look and the open is caught by the second look.
    struct stat st {};
    if (stat(name.c_str(), &st) != 0) return -1;
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return -1;
    }
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

int read_whole_file(const std::string& name, FileBytes& file) {
    errno = 0;
    const OwnedFd f(open_regular_file(name));
    if (f.fd < 0) return errno != 0 ? errno : EINVAL;
    struct stat st {};
    if (fstat(f.fd, &st) != 0) return errno;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > std::numeric_limits<uint32_t>::max()) return EFBIG;
    file.length = static_cast<size_t>(st.st_size);
    file.bytes = {static_cast<uint8_t*>(take_large_block(file.length)), GiveBackLargeBlock{file.length}};
    size_t got = 0;
    while (got < file.length) {
        const ssize_t n = read(f.fd, file.bytes.get() + got, file.length - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        // A short read would leave part of the buffer unset: treat it like a file that did not open.
        if (n == 0) return ENODATA;
        got += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace quen
