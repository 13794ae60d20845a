// A FILE* that closes itself when its owner goes, for every file a run or a disk opens.
#pragma once

#include <cstdio>
#include <memory>

namespace quen {

struct FileCloser {
    void operator()(FILE* f) const {
        if (f != nullptr) std::fclose(f);
    }
};
using OwnedFile = std::unique_ptr<FILE, FileCloser>;

}  // namespace quen
