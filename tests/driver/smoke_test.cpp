#include <gtest/gtest.h>

#include "support/run_helper.h"

namespace quen::testing {

TEST(Driver, NoArgumentIsAUsageError) {
    RunResult r = run_analyser({});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "Abnormal termination code 2\n   Press return to exit program\n");
    EXPECT_EQ(r.err.rfind("QuenAnalyze V1.2: no input file specified\nusage: QuenAnalyze [-spvbctfm] input [output]\n", 0), 0u);
}

}  // namespace quen::testing
