#include "sector/approach.h"

#include <algorithm>
#include <cstdlib>

namespace quen {
namespace {

// The ID field may come this many percent before where the locator saw it.
constexpr uint32_t kPositionTolerancePercent = 5;

}  // namespace

bool may_be_wanted(uint32_t start_ns, uint32_t expected_ns) {
    return !(start_ns + start_ns * kPositionTolerancePercent / 100 < expected_ns);
}

RevolutionApproach::RevolutionApproach(const std::vector<uint32_t>& expected_ns, bool keep_text)
    : expected_(expected_ns) {
    if (keep_text) diag_ = open_memstream(&diag_text_, &diag_size_);
    capture_failed_ = keep_text && diag_ == nullptr;
}

RevolutionApproach::~RevolutionApproach() {
    if (diag_ != nullptr) std::fclose(diag_);
    std::free(diag_text_);
}

bool RevolutionApproach::at_id_mark(uint32_t mark_ns) {
    bool needed = false;
    while (resolved_ < expected_.size() && may_be_wanted(mark_ns, expected_[resolved_])) {
        ++resolved_;
        needed = true;
    }
    if (needed) {
        pending_->mark_ns = mark_ns;
        points_.push_back(*pending_);
    }
    return resolved_ == expected_.size();
}

void RevolutionApproach::finish(std::optional<ApproachPoint> end) {
    end_ = std::move(end);
    if (diag_ != nullptr) {
        std::fclose(diag_);
        diag_ = nullptr;
    }
    pending_.reset();
}

const ApproachPoint* RevolutionApproach::start_for(uint32_t expected_ns) const {
    if (!std::binary_search(expected_.begin(), expected_.end(), expected_ns)) return nullptr;
    for (const ApproachPoint& p : points_) {
        if (may_be_wanted(p.mark_ns, expected_ns)) return &p;
    }
    return end_ ? &*end_ : nullptr;
}

void RevolutionApproach::drop_diag_text() {
    std::free(diag_text_);
    diag_text_ = nullptr;
}

}  // namespace quen
