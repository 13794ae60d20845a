// What a run has spent of its limits: the comparison passes stop at the interval limit,
// the -v text at its own, said once, and text held for later counts against what is left.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/work_budget.h"
#include "support/capture.h"

namespace quen::testing {
namespace {

enum class Spend : uint8_t { kRead, kWrite, kKeep };

struct Step {
    Spend what;
    uint64_t n;
};

struct BudgetCase {
    const char* name;
    WorkLimits limits;
    std::vector<Step> steps;
    bool passes_left;
    uint64_t diag_left;
    uint64_t room_to_keep;
    int end_lines;  // "no more diagnostic lines" said
};

constexpr uint64_t kAmple = UINT64_MAX;

const BudgetCase kBudgetCases[] = {
    {"nothing spent", {10, 100}, {}, true, 100, 100, 0},
    {"no pass allowed", {0, 100}, {}, false, 100, 100, 0},
    {"reads below the pass limit", {10, 100}, {{Spend::kRead, 4}, {Spend::kRead, 5}}, true, 100, 100, 0},
    {"reads reaching the pass limit", {10, 100}, {{Spend::kRead, 4}, {Spend::kRead, 6}}, false, 100, 100, 0},
    {"reads leave the text alone", {10, 100}, {{Spend::kRead, 50}}, false, 100, 100, 0},
    {"text kept leaves less room to keep", {10, 100}, {{Spend::kKeep, 30}}, true, 100, 70, 0},
    {"kept from several revolutions", {10, 100}, {{Spend::kKeep, 30}, {Spend::kKeep, 25}}, true, 100, 45, 0},
    {"written and kept together", {10, 100}, {{Spend::kWrite, 50}, {Spend::kKeep, 30}}, true, 50, 20, 0},
    {"kept beyond what is left", {10, 100}, {{Spend::kKeep, 80}, {Spend::kWrite, 40}}, true, 60, 0, 0},
    {"writes reaching the limit say so once", {10, 100},
     {{Spend::kWrite, 60}, {Spend::kWrite, 40}, {Spend::kWrite, 10}}, true, 0, 0, 1},
    {"one write past the limit", {10, 100}, {{Spend::kWrite, 150}}, true, 0, 0, 1},
    {"no text allowed", {10, 0}, {{Spend::kWrite, 1}}, true, 0, 0, 0},
    {"ample limits", {kAmple, kAmple}, {{Spend::kRead, 1u << 30}, {Spend::kWrite, 1000}, {Spend::kKeep, 500}}, true,
     kAmple - 1000, kAmple - 1500, 0},
    {"standard limits", {}, {{Spend::kRead, WorkLimits::kPassIntervals - 1}, {Spend::kWrite, 37000}}, true,
     WorkLimits::kDiagBytes - 37000, WorkLimits::kDiagBytes - 37000, 0},
};

TEST(WorkBudget, SpendingAgainstTheLimits) {
    for (const BudgetCase& c : kBudgetCases) {
        SCOPED_TRACE(c.name);
        WorkBudget budget(c.limits);
        const std::string said = capture([&](FILE* out) {
            for (const Step& s : c.steps) {
                switch (s.what) {
                case Spend::kRead: budget.charge_intervals(s.n); break;
                case Spend::kWrite: budget.charge_diag(s.n, out); break;
                case Spend::kKeep: budget.keep_diag(s.n); break;
                }
            }
        });
        EXPECT_EQ(budget.passes_left(), c.passes_left);
        EXPECT_EQ(budget.diag_left(), c.diag_left);
        EXPECT_EQ(budget.diag_spent(), c.diag_left == 0);
        EXPECT_EQ(budget.diag_room_to_keep(), c.room_to_keep);
        int end_lines = 0;
        for (const std::string& line : lines_of(said)) end_lines += line.find("No more diagnostic lines") != std::string::npos;
        EXPECT_EQ(end_lines, c.end_lines) << said;
        if (c.end_lines != 0) {
            EXPECT_NE(said.find(std::to_string(c.limits.diag_bytes) + " bytes"), std::string::npos) << said;
        }
    }
}

}  // namespace
}  // namespace quen::testing
