#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "driver/LoggerInstance.h"
#include "driver/ResultDef.h"
#include "support/FakeDriver.h"
#include "support/LogEntries.h"

using namespace korvane;

// operator new of this program fails on a thread while g_noMemory is set there.
// The replacements pair malloc with free on purpose; inlined, GCC takes the pair for a mismatch.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
thread_local bool g_noMemory = false;
}  // namespace

void* operator new(size_t size)
{
    void* memory = g_noMemory ? nullptr : std::malloc(size != 0 ? size : 1);
    if (memory == nullptr)
        throw std::bad_alloc();
    return memory;
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return g_noMemory ? nullptr : std::malloc(size != 0 ? size : 1);
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop

TEST(LoggerInstance, NoMemoryForALineNeverThrows)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    CResultDef result;
    const char* longText = "a text longer than a string keeps without the heap";
    bool threw = false;
    g_noMemory = true;
    try {
        logger.Log(1, "%s", longText);
        result.SetResultEx(1, kResultHttpStatus, "%s", longText);
    } catch (...) {
        threw = true;
    }
    g_noMemory = false;
    EXPECT_FALSE(threw);
    EXPECT_TRUE(driver.Lines().empty());
    EXPECT_EQ(std::tie(result.m_code, result.m_text), std::make_tuple(kResultHttpStatus, ""));
    logger.Log(1, "%s", longText);
    EXPECT_EQ(driver.Lines().size(), 1u);
}

TEST(LoggerInstance, DropsRepeatsUntilResetAndPassesPercentSignsInArgumentsUnchanged)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    for (int i = 0; i < 10; ++i)
        logger.Log(1, "%s: camera %s offline", "op", "cam");
    EXPECT_EQ(driver.Lines().size(), 1u);
    logger.ResetLastMessage();
    logger.Log(1, "%s: camera %s offline", "op", "cam");
    logger.Log(3, "%s", "100% done %s %d");
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{"1 op: camera cam offline", "1 op: camera cam offline",
                                                            "3 100% done %s %d"}));
}

TEST(LoggerInstance, ThinsOutBurstsKeepingOnlyEveryLargerStepInLongOnes)
{
    test::FakeDriver driver;
    CLoggerInstance logger(&driver);
    for (int i = 1; i <= 70000; ++i)
        logger.Log(2, "line %d", i);
    std::vector<int> sent;
    for (const auto& line : driver.Lines())
        sent.push_back(std::stoi(line.text.substr(5)));
    // 1..14, multiples of 16 below 255, of 256 below 4095, of 4096 below 65535;
    // at 65535 the counter falls back to 4095 and the 4096-step continues.
    ASSERT_EQ(sent.size(), 14u + 15u + 15u + 15u + 2u);
    EXPECT_EQ(std::vector<int>(sent.begin(), sent.begin() + 16),
              (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 32}));
    // 65536: the counter back at 4095, then 4096; 65536 + 4096: the counter at 8192.
    EXPECT_EQ((std::vector<int>{sent[29], sent[44], sent[58], sent[59], sent[60]}),
              (std::vector<int>{256, 4096, 61440, 65536, 65536 + 4096}));
    EXPECT_EQ(driver.Lines()[0].text, "line 1");
}

TEST(ResultDef, SetResultExFormatsOrLeavesTheTextEmpty)
{
    CResultDef result;
    EXPECT_TRUE(result.IsSuccess());
    EXPECT_EQ(result.m_severity, 3u);
    result.SetResultEx(1, kResultHttpStatus, "%s: status %d", "op", 500);
    EXPECT_EQ(result.m_text, "op: status 500");
    result.SetResultEx(2, kResultUnreadable, nullptr);
    EXPECT_EQ(std::tie(result.m_severity, result.m_code, result.m_text), std::make_tuple(2u, kResultUnreadable, ""));
}
