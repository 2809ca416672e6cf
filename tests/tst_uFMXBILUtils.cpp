#include "elevation/uFMXBILUtils.h"

#include <gtest/gtest.h>

TEST(BILGrid, StartsAsTheLargestGrid)
{
    EXPECT_EQ(BILWidth * BILHeight, BILCapacity);
}
