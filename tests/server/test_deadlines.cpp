// The connection deadlines' bookkeeping, on a clock the test moves.
#include <gtest/gtest.h>

#include <algorithm>

#include "server/deadlines.h"

namespace {

using namespace std::chrono_literals;
using scores::TConnectionDeadlines;
using Clock = TConnectionDeadlines::Clock;

int connectionA, connectionB; // their addresses stand in for the daemon's connections
const void* const A = &connectionA;
const void* const B = &connectionB;

class DeadlinesTest : public ::testing::Test {
protected:
    TConnectionDeadlines deadlines{scores::TDeadlineLimits{1000ms, 10000ms, 100}};
    const Clock::time_point t0 = Clock::now();
};

TEST_F(DeadlinesTest, HeadersMustBeWholeSoonAfterOpeningButAKeptConnectionMayIdle) {
    deadlines.Opened(A, 7, t0);
    deadlines.Opened(B, 8, t0);
    EXPECT_TRUE(deadlines.Overdue(t0 + 1000ms).empty()); // the limit itself is still in time
    // B's request came and was answered; it may then wait for the idle time-out.
    deadlines.HeadersDone(B, t0 + 200ms);
    deadlines.Answering(B);
    deadlines.AnswerSent(B, t0 + 300ms);
    EXPECT_EQ(deadlines.Overdue(t0 + 1001ms), std::vector<int>{7});
    // Named once only, until the daemon reports it closed.
    EXPECT_TRUE(deadlines.Overdue(t0 + 5000ms).empty());
    EXPECT_EQ(deadlines.Overdue(t0 + 10301ms), std::vector<int>{8});
    EXPECT_EQ(deadlines.Closed(A), 7);
    EXPECT_EQ(deadlines.Closed(A), -1);
    EXPECT_EQ(deadlines.Size(), 1u);
}

TEST_F(DeadlinesTest, ABodyMustKeepUpTheRateAfterItsGraceAndAnAnswerHasNoDeadline) {
    deadlines.Opened(A, 7, t0);
    deadlines.HeadersDone(A, t0);
    // 100 bytes a second after a second's grace: 50 bytes earn half a second more.
    deadlines.BodyCame(A, 50);
    EXPECT_TRUE(deadlines.Overdue(t0 + 1500ms).empty());
    EXPECT_EQ(deadlines.Overdue(t0 + 1501ms), std::vector<int>{7});

    deadlines.Opened(B, 8, t0);
    deadlines.HeadersDone(B, t0);
    deadlines.Answering(B); // a send waiting for a worker, or an answer going out
    EXPECT_TRUE(deadlines.Overdue(t0 + 60s).empty());
    // An overdue connection's later news does not revive it.
    deadlines.AnswerSent(A, t0 + 2s);
    EXPECT_TRUE(deadlines.Overdue(t0 + 60s).empty());
}

TEST_F(DeadlinesTest, NoRateMeansAnyBodyAndClearHandsBackEveryHandle) {
    TConnectionDeadlines lenient{scores::TDeadlineLimits{1000ms, 10000ms, 0}};
    lenient.Opened(A, 7, t0);
    lenient.HeadersDone(A, t0);
    lenient.Opened(B, 8, t0);
    EXPECT_EQ(lenient.Overdue(t0 + 1h), std::vector<int>{8});
    std::vector<int> all = lenient.Clear();
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<int>{7, 8}));
    EXPECT_EQ(lenient.Size(), 0u);
}

TEST_F(DeadlinesTest, AClientFoundGoneTwiceWhileItOwesItsRequestIsClosedEarly) {
    deadlines.Opened(A, 7, t0);
    deadlines.Opened(B, 8, t0);
    deadlines.HeadersDone(B, t0);
    deadlines.Answering(B); // B's client may shut its end and wait for the answer
    EXPECT_EQ(deadlines.Receiving(), std::vector<int>{7});
    EXPECT_TRUE(deadlines.Overdue(t0, {7, 8}).empty()); // once may be the daemon still reading
    EXPECT_TRUE(deadlines.Overdue(t0, {}).empty());     // not gone after all
    EXPECT_TRUE(deadlines.Overdue(t0, {7}).empty());
    EXPECT_EQ(deadlines.Overdue(t0, {7, 8}), std::vector<int>{7});
}

} // namespace
