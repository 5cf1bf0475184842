#include "tests/support/scripted_host.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    tamberlin::testing::PrepareTestProcess();
    // No test may wait for a person: a box nobody scripted answers at once.
    tamberlin::testing::ScriptedHost nobody;
    return RUN_ALL_TESTS();
}
