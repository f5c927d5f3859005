#include <gtest/gtest.h>

#include "streaming/RTPSequenceTracker.h"

namespace korvane {
namespace {

TEST(RtcpSequence, AcceptsANewSourceAfterTwoPacketsInSequenceAndRestartsProbationOnAJump)
{
    CRTPSequenceTracker tracker;
    tracker.Update(1000);
    EXPECT_TRUE(tracker.InProbation());
    EXPECT_EQ(tracker.Received(), 0u);
    EXPECT_EQ(tracker.ExtendedHighest(), 1000u);

    tracker.Update(1001);
    EXPECT_FALSE(tracker.InProbation());
    EXPECT_EQ(tracker.Received(), 1u);
    tracker.Update(1002);
    EXPECT_EQ(tracker.Received(), 2u);
    EXPECT_EQ(tracker.ExtendedHighest(), 1002u);

    // A jump during probation restarts it.
    CRTPSequenceTracker jumping;
    jumping.Update(10);
    jumping.Update(500);  // not the next one
    EXPECT_TRUE(jumping.InProbation());
    EXPECT_EQ(jumping.ExtendedHighest(), 500u);
    jumping.Update(501);
    EXPECT_FALSE(jumping.InProbation());
    EXPECT_EQ(jumping.Received(), 1u);
}

TEST(RtcpSequence, CountsCyclesAcrossTheWrapAround)
{
    CRTPSequenceTracker tracker;
    for (uint16_t sequence : {65533, 65534, 65535, 0, 1})
        tracker.Update(sequence);
    EXPECT_EQ(tracker.ExtendedHighest(), 65536u + 1);
    EXPECT_EQ(tracker.Received(), 4u);

    tracker.Update(65535);  // late: counted, the highest stays
    EXPECT_EQ(tracker.ExtendedHighest(), 65536u + 1);
    EXPECT_EQ(tracker.Received(), 5u);
    tracker.Update(1);  // duplicate
    EXPECT_EQ(tracker.Received(), 6u);
}

TEST(RtcpSequence, ABigJumpIsBelievedOnlyWhenTheNextPacketFollowsIt)
{
    CRTPSequenceTracker tracker;
    tracker.Update(100);
    tracker.Update(101);
    tracker.Update(102);
    ASSERT_EQ(tracker.Received(), 2u);

    tracker.Update(20000);  // a stray packet
    EXPECT_EQ(tracker.ExtendedHighest(), 102u);
    EXPECT_EQ(tracker.Received(), 2u);
    tracker.Update(103);
    EXPECT_EQ(tracker.ExtendedHighest(), 103u);

    tracker.Update(40000);  // the source restarted its numbering
    tracker.Update(40001);
    EXPECT_EQ(tracker.ExtendedHighest(), 40001u);
    EXPECT_EQ(tracker.Received(), 1u);  // counting starts anew
    tracker.Update(40001 + 2999);       // a forward step just below the drop-out limit
    EXPECT_EQ(tracker.ExtendedHighest(), 40001u + 2999);
    tracker.Update(43000 + 3000);  // one at the limit is a jump
    EXPECT_EQ(tracker.ExtendedHighest(), 43000u);
}

}  // namespace
}  // namespace korvane
