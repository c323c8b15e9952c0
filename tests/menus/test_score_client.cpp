// Reading the score server's top list: the declared count, rows of six lines,
// missing lines, and counts no table could hold.
#include <gtest/gtest.h>

#include <string>

#include "menus/score_client.h"

namespace {

const std::string kMarker = "<pre id=\"view_record\">\n";

TEST(ParseTop, ReadsTheCountAndSixLinesPerRow) {
    const TTopReply top = ParseTop("<html>" + kMarker + " 2 rows\n^2Ann\n30\n5\n1.2.2026\n1234\nskip\nBob\n7\n1\n2.2.2026\n5\nskip\n");
    EXPECT_EQ(top.Count, 2);
    ASSERT_EQ(top.Rows.size(), 2u);
    EXPECT_EQ(top.Rows[0].Name, "^2Ann");
    EXPECT_EQ(top.Rows[0].Score, "30");
    EXPECT_EQ(top.Rows[0].Level, "5");
    EXPECT_EQ(top.Rows[0].Date, "1.2.2026");
    EXPECT_EQ(top.Rows[0].Time, "1234");
    EXPECT_EQ(top.Rows[1].Name, "Bob");
    EXPECT_EQ(top.Rows[1].Place, "2");
    EXPECT_EQ(ParseTop(kMarker + "0\n").Rows.size(), 0u);
    EXPECT_EQ(ParseTop("").Count, 0); // a failed request
    EXPECT_EQ(ParseTop("<h1>404 Not Found</h1> no marker here\n").Count, 0);
}

TEST(ParseTop, MissingLinesReadEmptyAndHugeCountsReadOnlyTheTable) {
    const TTopReply top = ParseTop(kMarker + "3\nA\n1\n1\nd\n1\nx\nB\n2\n2\nd\n2\nx\nC\n3");
    ASSERT_EQ(top.Rows.size(), 3u);
    EXPECT_EQ(top.Rows[2].Name, "C");
    EXPECT_EQ(top.Rows[2].Score, ""); // no line feed after it
    EXPECT_EQ(top.Rows[2].Time, "");  // not read again from the start of the reply

    const TTopReply huge = ParseTop(kMarker + "2147483647\nA\n");
    EXPECT_EQ(huge.Count, 2147483647);
    EXPECT_EQ(huge.Rows.size(), 20u);
    EXPECT_EQ(ParseTop(kMarker + "-5\n").Rows.size(), 0u);
    EXPECT_EQ(LeadingInt(" +12x"), 12);
    EXPECT_EQ(LeadingInt("99999999999999"), 2147483647);
    EXPECT_EQ(LeadingInt("x1"), 0);
}

} // namespace
