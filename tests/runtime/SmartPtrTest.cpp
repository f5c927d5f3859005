#include <gtest/gtest.h>

#include "runtime/SmartPtr.h"

namespace {

struct Tracked {
    explicit Tracked(int& destroyed) : destroyed(destroyed) {}
    virtual ~Tracked() { ++destroyed; }
    int& destroyed;
};

}  // namespace

TEST(SmartPtr, CopiesShareTheObjectUntilTheLastGoes)
{
    int destroyed = 0;
    {
        TSmartPtr<Tracked> first;
        first = new Tracked(destroyed);
        {
            TSmartPtr<Tracked> second = first;
            EXPECT_EQ(second.Get(), first.Get());
        }
        EXPECT_EQ(destroyed, 0);
        first = new Tracked(destroyed);
        EXPECT_EQ(destroyed, 1);
        first = nullptr;
        EXPECT_EQ(destroyed, 2);
        EXPECT_FALSE(first);
    }
    EXPECT_EQ(destroyed, 2);
}
