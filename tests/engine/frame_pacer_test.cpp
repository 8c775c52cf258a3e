// The polling method's schedule on a simulated clock.
#include "engine/screen/frame_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vexa::engine {
namespace {

constexpr int64_t kPeriod = 1000;

// A capture loop that sleeps what the pacer says, grabs, and spends a varying time on each grab,
// sometimes several periods. Whatever the pacer does inside, each grab must come exactly when the
// previous one has finished and the first deadline of the schedule after the previous grab has come:
// never two in one period on time, and after a late grab no burst catching up on missed deadlines.
TEST(FramePacer, GrabsFollowTheFixedScheduleWhateverTheyCost) {
    FramePacer pacer(kPeriod);
    std::mt19937 random(11);
    std::uniform_int_distribution<int64_t> cost(0, 7 * kPeriod / 2);
    const int64_t first = 12'345;
    int64_t now = first;
    std::vector<int64_t> grabs, ends;
    for (int i = 0; i < 1000; ++i) {
        now += pacer.WaitFrom(now);
        ASSERT_EQ(pacer.WaitFrom(now), 0);
        pacer.Grabbed(now);
        grabs.push_back(now);
        now += i % 3 == 0 ? cost(random) : cost(random) / 8;  // mostly cheap, now and then slow
        ends.push_back(now);
    }
    int late = 0;
    for (size_t i = 1; i < grabs.size(); ++i) {
        const int64_t next_deadline = first + ((grabs[i - 1] - first) / kPeriod + 1) * kPeriod;
        ASSERT_EQ(grabs[i], std::max(ends[i - 1], next_deadline)) << "grab " << i;
        late += ends[i - 1] > next_deadline;
    }
    EXPECT_GT(late, 100);  // the slow grabs did come late
}

}  // namespace
}  // namespace vexa::engine
