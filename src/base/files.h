// The one way this project writes a file: created, written, closed with checks, and,
// where an earlier version must never be lost to a half-written one, written beside its
// name and renamed over it once whole.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/large_blocks.h"
#include "base/owned_file.h"

namespace quen {

// `name` inside the folder `dir` as the user wrote it: "d" and "d/" both give "d/name";
// an empty folder is the current one.
std::string path_in(const std::string& dir, const std::string& name);

// How a file replaces what its name held before.
enum class Replace : uint8_t {
    kInPlace,  // truncated and written where it is (standard output, devices, pipes, plot files)
    kWhole,    // a temporary file in the same folder, renamed over the name once closed whole;
               // in place when the name holds something other than a regular file
};

// A file being written. Nothing of it is under its final name before commit() when it
// replaces whole; dropped without commit(), its temporary file is removed.
class OutputFile {
public:
    OutputFile(std::string path, Replace how);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool is_open() const { return file_ != nullptr; }
    FILE* get() const { return file_.get(); }
    const std::string& path() const { return path_; }
    // Why the file could not be opened or committed: the system's reason.
    const std::string& error() const { return error_; }

    // Closes with checks (a full disk never passes for a whole file) and, when replacing
    // whole, renames the file over its name. False with error() set when anything failed;
    // the final name then still holds what it held before.
    bool commit();
    // Gives up the file: a temporary file is removed, an in-place one closed as it is.
    void abandon();

private:
    void use_large_write_buffer();

    std::string path_;
    std::string temp_path_;  // empty when written in place
    std::unique_ptr<char[]> buffer_;  // outlives file_, which is closed first
    OwnedFile file_;
    std::string error_;
};

// Opens `name` for reading when it is a regular file (links followed), without ever
// waiting on a FIFO or a device; -1 with errno set otherwise. The caller closes it.
int open_regular_file(const std::string& name);

// A file's bytes, read whole into storage that is not cleared first: a large block, so
// that a capture's bytes share the huge page of the arrays read from them.
struct FileBytes {
    std::unique_ptr<uint8_t[], GiveBackLargeBlock> bytes;
    size_t length = 0;
};

// Reads a capture file whole; 0, or the system's reason why it cannot be read whole as
// a regular file's bytes (EFBIG beyond the 32-bit positions of every capture format).
int read_whole_file(const std::string& name, FileBytes& file);

// Writes a whole file through `write`; empty when it is there whole, else why not.
std::string write_file(const std::string& path, Replace how, const std::function<void(FILE*)>& write);

}  // namespace quen
