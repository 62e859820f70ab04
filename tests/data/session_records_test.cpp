// Frames appended as a recording holds them: each comes back as it went in,
// with its time and index; equal times in a row make one batch; an index
// out of sequence is refused; a failed append changes nothing.
#include "failing_allocation.h"
#include "session.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <vector>

namespace {

bool Same(const TFrameRecord& a, const TFrameRecord& b)
{
    return a.TimeUs == b.TimeUs && a.Axis == b.Axis && a.Index == b.Index && a.Value == b.Value && a.Valid == b.Valid;
}

TEST(SessionRecords, ComeBackAsTheyWentIn)
{
    // Series that start where a recording found them, out of turn, with
    // times that stay, jump by hours and come back to a batch's time.
    const std::vector<TFrameRecord> frames = {
        {5'000'000, axY, 700, 1, true},        {5'000'000, axZ, 699, 2, false},
        {5'000'000, axX, 701, 3, true},        {5'003'125, axY, 701, 4, true},
        {5'003'125, axY, 702, 5, true},        {9'005'003'125, axZ, 700, 4095, true},
        {9'005'003'125, axX, 702, 0, false},   {9'005'006'250, axX, 703, 7, true},
    };
    TSession session;
    for (const TFrameRecord& frame : frames)
        session.AppendRecord(frame);
    ASSERT_EQ(session.FrameCount(), frames.size());
    for (std::uint64_t n = 0; n < frames.size(); ++n)
        EXPECT_TRUE(Same(session.Record(n), frames[n])) << n;
    std::uint64_t n = 0;
    for (TSession::TReader reader(session, 0); !reader.AtEnd(); reader.Next(), ++n)
        EXPECT_TRUE(Same(reader.Record(), frames[n])) << n;
    EXPECT_EQ(session.FirstIndex(axX), 701);
    EXPECT_EQ(session.FirstIndex(axY), 700);
    EXPECT_EQ(session.FirstIndex(axZ), 699);
    EXPECT_EQ(session.Count(axY), 3);
    EXPECT_EQ(session.TimeUs(axZ, 1), 9'005'003'125);
}

TEST(SessionRecords, AnIndexOutOfSequenceIsRefused)
{
    TSession session;
    session.AppendRecord({0, axX, 10, 1, true});
    EXPECT_THROW(session.AppendRecord({0, axX, 12, 1, true}), std::invalid_argument);
    EXPECT_THROW(session.AppendRecord({0, axX, 10, 1, true}), std::invalid_argument);
    session.AppendRecord({0, axX, 11, 1, true});
    EXPECT_EQ(session.FrameCount(), 2u);
}

TEST(SessionRecords, AFailedAppendLeavesTheSessionAsItWas)
{
    // Past the first chunk of every array, so that the appends that fail
    // are the ones that allocate.
    TSession session;
    std::int64_t failures = 0;
    for (std::int64_t i = 0; i < 200'000; ++i) {
        const TFrameRecord frame{i / 3 * 10, TAxis(i % 3), i / 3, float(i % 4096), i % 5 != 0};
        try {
            TAllocationFailure failure(0);  // every allocation fails
            session.AppendRecord(frame);
        } catch (const std::bad_alloc&) {
            ++failures;
            ASSERT_EQ(session.FrameCount(), std::uint64_t(i));
            session.AppendRecord(frame);
        }
    }
    EXPECT_GT(failures, 0);
    for (std::uint64_t n = 0; n < session.FrameCount(); n += 997) {
        const std::int64_t i = std::int64_t(n);
        EXPECT_TRUE(Same(session.Record(n), {i / 3 * 10, TAxis(i % 3), i / 3, float(i % 4096), i % 5 != 0})) << n;
    }
}

}  // namespace
