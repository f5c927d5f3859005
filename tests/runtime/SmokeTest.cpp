#include <gtest/gtest.h>

#include "runtime/StringFormat.h"

TEST(StringFormat, FormatsLikePrintf)
{
    EXPECT_EQ(korvane::FormatString("%s:%hu", "cam", static_cast<unsigned short>(80)), "cam:80");
}
