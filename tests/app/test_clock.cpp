// The stopwatch, on a counter the test moves by hand.
#include <gtest/gtest.h>

#include "app/clock.h"

namespace {

// A stopwatch whose counter the test moves by hand.
class ManualClock : public TClock {
public:
    int64_t now = 1000;

protected:
    int64_t Counter() const override { return now; }
};

TEST(Clock, StoppedTimeDoesNotGrowAndStartMeasuresFromItsCall) {
    ManualClock clock;
    EXPECT_EQ(clock.Elapsed(), 0);
    const int64_t second = clock.GetFrequency();
    clock.now += 5 * second; // time before Start is never counted
    clock.Start();
    clock.now += 2 * second;
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 2);
    clock.Stop();
    clock.now += 3 * second;
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 2);
    clock.Reset();
    EXPECT_DOUBLE_EQ(clock.Elapsed(), 0);
    EXPECT_FALSE(clock.IsRunning());
}

} // namespace
