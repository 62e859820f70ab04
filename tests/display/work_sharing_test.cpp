// Jobs shared with a helper thread.

#include "plotdata/work_sharing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <stdexcept>
#include <vector>

namespace {

// Every job runs once per run, whatever the count, run after run on the
// same helper; the caller sees all their effects when Run returns.
TEST(WorkSharing, RunsEveryJobOnce)
{
    TWorkSharing sharing;
    for (std::size_t count : {0, 1, 2, 3, 51, 1000, 2}) {
        SCOPED_TRACE(count);
        std::vector<int> runs(count, 0);
        std::vector<std::vector<int>> outputs(count);
        sharing.Run(count, [&](std::size_t i) {
            ++runs[i];
            outputs[i].assign(i % 7 + 1, int(i));
        });
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(runs[i], 1) << i;
            ASSERT_EQ(outputs[i], std::vector<int>(i % 7 + 1, int(i))) << i;
        }
    }
}

// A job that throws ends the run with its exception, once no job is
// running any more; no job runs twice, and the next run is whole.
TEST(WorkSharing, AThrowingJobEndsTheRun)
{
    TWorkSharing sharing;
    for (std::size_t thrower : {0, 5, 99}) {
        SCOPED_TRACE(thrower);
        std::vector<std::atomic<int>> runs(100);
        std::atomic<int> running{0};
        EXPECT_THROW(sharing.Run(100,
                                 [&](std::size_t i) {
                                     ++running;
                                     ++runs[i];
                                     --running;
                                     if (i == thrower)
                                         throw std::runtime_error("job");
                                 }),
                     std::runtime_error);
        EXPECT_EQ(running.load(), 0);
        EXPECT_EQ(runs[thrower].load(), 1);
        for (std::size_t i = 0; i < runs.size(); ++i)
            EXPECT_LE(runs[i].load(), 1) << i;

        std::vector<int> again(10, 0);
        sharing.Run(again.size(), [&](std::size_t i) { ++again[i]; });
        EXPECT_EQ(again, std::vector<int>(10, 1));
    }
}

}  // namespace
