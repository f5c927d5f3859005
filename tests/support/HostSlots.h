#pragma once
// The test hosts fill every slot of their objects that the driver is not
// given with UnassignedSlot, so a driver that calls one fails the test.
#include <gtest/gtest.h>

namespace korvane::test {

inline void UnassignedSlot(const char* interfaceName, int slot)
{
    ADD_FAILURE() << "the driver called slot " << slot << " of " << interfaceName << ", which is the host's own";
}

}  // namespace korvane::test
