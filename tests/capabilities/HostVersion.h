#pragma once
// Loads a stand-in host core library of a given version for the lifetime of the object.
#include <gtest/gtest.h>

#include "platform/DynamicLibrary.h"

namespace korvane::test {

class HostVersion {
public:
    explicit HostVersion(const char* stubPath) { EXPECT_TRUE(m_library.Load(stubPath)) << stubPath; }

private:
    platform::DynamicLibrary m_library;
};

}  // namespace korvane::test
