// The umbrella headers must stand on their own.
#include "installer/installer.h"
#include "toolkit/toolkit.h"

#include <gtest/gtest.h>

TEST(Umbrella, SharedBuffersHaveTheirSizes) {
    EXPECT_EQ(sizeof(LineBuf), 4096u);
    EXPECT_EQ(sizeof(Line), 262144u);
}
