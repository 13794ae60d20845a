#include "base/files.h"

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

bool read_whole_file(const std::string& name, std::vector<uint8_t>& bytes) {
    OwnedFile f(std::fopen(name.c_str(), "rb"));
    if (!f) return false;
    struct stat st {};
    // A directory opens on some systems but has no bytes to give.
    if (fstat(fileno(f.get()), &st) != 0 || S_ISDIR(st.st_mode)) return false;
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return false;
    const long length = std::ftell(f.get());
    if (length < 0 || static_cast<unsigned long>(length) > std::numeric_limits<uint32_t>::max()) return false;
    if (std::fseek(f.get(), 0, SEEK_SET) != 0) return false;
    bytes.resize(static_cast<size_t>(length));
    // A short read would leave part of the buffer unset: treat it like a file that did not open.
    return std::fread(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
}

}  // namespace quen
