#include "Assert.h"

#include <gtest/gtest.h>

namespace {

int Checked(int index) {
    TRELMO_VERIFY_OR_ASSERT(index >= 0 && index < 4) {
        return -1;
    }
    return index;
}

} // namespace

// Tests are debug builds: a broken invariant stops them where it broke.
TEST(Assert, ABrokenInvariantStopsADebugBuild) {
    EXPECT_EQ(Checked(3), 3);
    EXPECT_DEATH(Checked(4), "invariant broken: index >= 0 && index < 4");
}
