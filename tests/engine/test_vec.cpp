// Vector maths edge cases.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "engine/engine.h"

namespace {

TEST(Vec, NormalizeKeepsTheZeroVector) {
    const qx::TVector3 zero = qx::vec->Normalize({0, 0, 0});
    EXPECT_EQ(zero.x, 0);
    EXPECT_EQ(zero.y, 0);
    EXPECT_EQ(zero.z, 0);
    const qx::TVector3 unit = qx::vec->Normalize({3, 0, 4});
    EXPECT_FLOAT_EQ(unit.x, 0.6f);
    EXPECT_FLOAT_EQ(unit.z, 0.8f);
    EXPECT_FLOAT_EQ(qx::vec->Length({3, 0, 4}), 5);
}

TEST(Vec, AngleCoversParallelPerpendicularAndOpposite) {
    const float halfPi = static_cast<float>(std::numbers::pi / 2);
    EXPECT_FLOAT_EQ(qx::vec->Angle({1, 0, 0}, {0, 1, 0}), halfPi);
    EXPECT_NEAR(qx::vec->Angle({1, 2, 3}, {1, 2, 3}), 0, 1e-3);
    EXPECT_FLOAT_EQ(qx::vec->Angle({0, 0, 0}, {0, 1, 0}), halfPi);
    // Opposite vectors are pi apart, also when rounding pushes the cosine past -1.
    EXPECT_NEAR(qx::vec->Angle({0.1f, 0.7f, 0.3f}, {-0.1f, -0.7f, -0.3f}), std::numbers::pi, 1e-3);
}

TEST(Vec, CrossAndDot) {
    const qx::TVector3 z = qx::vec->Cross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(z.x, 0);
    EXPECT_EQ(z.y, 0);
    EXPECT_EQ(z.z, 1);
    EXPECT_FLOAT_EQ(qx::vec->Dot({1, 2, 3}, {4, 5, 6}), 32);
}

} // namespace
