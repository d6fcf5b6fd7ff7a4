// The stress run (see driver/stress/stress_end.h) with each end in a program of its own. Every program has a
// watchdog, and every command's answer a deadline, so a deadlock fails the test.
#include "driver/stress/stress_end.h"
#include "system/system_support.h"

namespace systemtest {
namespace {

using StressTest = SystemTest;

TEST_F(StressTest, EveryByteWrittenAndNotPurgedArrivesInOrder) {
    Program first(Role({"stress", "COM5:", "11"}));
    Program second(Role({"stress", "COM6:", "22"}));
    for (Program* end : {&first, &second}) {
        ASSERT_EQ(end->ReadLine(), "open");
    }
    stress::RunStressPhases<Program>({&first, &second});
    for (Program* end : {&first, &second}) {
        EXPECT_EQ(end->Wait(), 0);
    }
}

}  // namespace
}  // namespace systemtest
