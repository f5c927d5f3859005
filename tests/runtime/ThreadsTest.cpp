#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "platform/Thread.h"
#include "runtime/BaseThread.h"
#include "runtime/QueueThread.h"
#include "support/FakeDriver.h"
#include "support/LogEntries.h"
#include "support/WaitUntil.h"

using namespace korvane;
using korvane::test::WaitUntil;
using Clock = std::chrono::steady_clock;

namespace {

// Runs until stopped; optionally ignores the stop request for a while.
class WorkerThread : public CBaseThread {
public:
    explicit WorkerThread(IDebugMessage* owner = nullptr, uint32_t lingerMs = 0) : CBaseThread(owner), m_lingerMs(lingerMs) {}
    ~WorkerThread() override { StopThread(5000); }

    std::atomic<int> runs{0};
    std::atomic<bool> selfStopResult{true};
    bool stopFromInside = false;

protected:
    bool Run() override
    {
        ++runs;
        if (stopFromInside)
            selfStopResult = JoinThread(1000);
        m_stopEvent.Wait(kInfiniteWait);
        platform::SleepMs(m_lingerMs);
        return true;
    }

private:
    uint32_t m_lingerMs;
};

class CountingTicker : public CTickThread {
public:
    ~CountingTicker() override { StopTicking(); }
    std::atomic<int> ticks{0};
    CEvent ticked{false};

protected:
    void OnTick() override
    {
        ++ticks;
        ticked.Set();
    }
};

struct WorkItem {
    WorkItem(int value, std::atomic<int>& destroyed) : value(value), destroyed(destroyed) {}
    virtual ~WorkItem() { ++destroyed; }
    int value;
    std::atomic<int>& destroyed;
};

class RecordingQueue : public CQueueThread<WorkItem> {
public:
    ~RecordingQueue() override { Stop(); }
    std::vector<int> handled;

protected:
    void HandleWorkItem(WorkItem& item) override
    {
        if (item.value < 0)
            throw std::runtime_error("bad item");
        handled.push_back(item.value);
    }
};

}  // namespace

TEST(BaseThread, StartsOnceAndAgainAfterStopAndAStopFromInsideReturnsFalseWithoutWaiting)
{
    WorkerThread worker;
    EXPECT_TRUE(worker.JoinThread(1000));  // no thread yet: at once
    EXPECT_TRUE(worker.StopThread(1000));
    ASSERT_TRUE(worker.Start("worker"));
    EXPECT_FALSE(worker.Start("worker"));
    EXPECT_NE(worker.GetThreadId(), 0u);
    EXPECT_TRUE(worker.StopThread(2000));
    EXPECT_FALSE(worker.IsRunning());
    worker.stopFromInside = true;
    ASSERT_TRUE(worker.Start("worker"));
    EXPECT_TRUE(WaitUntil([&] { return worker.runs.load() == 2; }, 5000));
    EXPECT_TRUE(WaitUntil([&] { return !worker.selfStopResult.load(); }, 5000));
    EXPECT_TRUE(worker.JoinThread(2000));
}

// The join logs when it is overdue, the stop its termination line; both still wait for the thread.
TEST(BaseThread, OverdueJoinsAndStopsLogAndStillWaitForTheThread)
{
    test::FakeDriver driver;
    WorkerThread worker(&driver, 300);
    ASSERT_TRUE(worker.Start("slow"));
    EXPECT_TRUE(worker.JoinThread(20));
    EXPECT_FALSE(worker.IsRunning());
    const std::string thread = "korvane::CBaseThread::JoinThread: Thread (id=" +
                               std::to_string(worker.GetThreadId()) + ", name=\"slow\")";
    EXPECT_EQ(LogEntries(driver), (std::vector<std::string>{
                                      "2 " + thread + " for device 127.0.0.1:80 was not stopped during 20 milliseconds",
                                      "3 " + thread + " was stopped correctly"}));

    driver.ClearLines();
    ASSERT_TRUE(worker.Start("slow"));
    EXPECT_TRUE(worker.StopThread(10));
    EXPECT_FALSE(worker.IsRunning());
    ASSERT_EQ(driver.Lines().size(), 1u);
    EXPECT_NE(driver.Lines()[0].text.find("was not stopped during 10 milliseconds and will be terminated!"),
              std::string::npos);
}

TEST(TickThread, TicksAtStartWhenAskedElseFirstAfterOnePeriod)
{
    CountingTicker ticker;
    ticker.SetTickPeriod(30);
    ASSERT_TRUE(ticker.StartTicking("ticker"));
    EXPECT_TRUE(ticker.ticked.Wait(5000));
    EXPECT_TRUE(WaitUntil([&] { return ticker.ticks.load() >= 3; }, 5000));
    EXPECT_TRUE(ticker.StopTicking());

    CountingTicker late;
    late.SetTickPeriod(400);
    const auto started = Clock::now();
    ASSERT_TRUE(late.Start("ticker"));
    ASSERT_TRUE(late.ticked.Wait(5000));
    EXPECT_GE(Clock::now() - started, std::chrono::milliseconds(390));
    EXPECT_TRUE(late.StopThread(2000));
}

TEST(QueueThread, HandlesItemsInOrderAndSurvivesExceptions)
{
    std::atomic<int> destroyed{0};
    {
        RecordingQueue queue;
        ASSERT_TRUE(queue.Start("queue"));
        for (int value : {1, -1, 2})
            EXPECT_TRUE(queue.AddItem(std::make_unique<WorkItem>(value, destroyed), 0)) << value;
        EXPECT_TRUE(WaitUntil([&] { return destroyed.load() == 3; }, 5000));
        EXPECT_EQ(queue.handled, (std::vector<int>{1, 2}));
    }
    EXPECT_EQ(destroyed.load(), 3);
}

TEST(QueueThread, LimitKeepsOnlyTheNewestItemsAndStopDiscardsQueuedItemsAndRefusesLaterOnes)
{
    std::atomic<int> destroyed{0};
    RecordingQueue queue;
    for (int i = 1; i <= 3; ++i)
        queue.AddItem(std::make_unique<WorkItem>(i, destroyed), 0);
    EXPECT_TRUE(queue.AddItem(std::make_unique<WorkItem>(4, destroyed), 1));
    EXPECT_EQ(std::make_pair(queue.QueuedCount(), destroyed.load()), std::make_pair(size_t{1}, 3));
    // Queued items wait for the next wake-up after the start.
    ASSERT_TRUE(queue.Start("queue"));
    queue.AddItem(std::make_unique<WorkItem>(5, destroyed), 0);
    EXPECT_TRUE(WaitUntil([&] { return destroyed.load() == 5; }, 5000));
    EXPECT_EQ(queue.handled, (std::vector<int>{4, 5}));
    EXPECT_TRUE(queue.Stop());
    EXPECT_FALSE(queue.AddItem(std::make_unique<WorkItem>(6, destroyed), 0));
    EXPECT_EQ(destroyed.load(), 6);
    EXPECT_EQ(queue.handled, (std::vector<int>{4, 5}));

    RecordingQueue unstarted;
    for (int i = 0; i < 5; ++i)
        unstarted.AddItem(std::make_unique<WorkItem>(i, destroyed), 0);
    EXPECT_TRUE(unstarted.Stop());
    EXPECT_EQ(std::make_pair(unstarted.QueuedCount(), destroyed.load()), std::make_pair(size_t{0}, 11));
}
