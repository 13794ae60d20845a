// A FILE* that closes itself: for the scratch and output files of the whole-disk command.
#pragma once

#include <cstdio>
#include <memory>

namespace quen::disk {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace quen::disk
