#include "base/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

}  // namespace quen
