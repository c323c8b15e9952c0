// The server's reading of form bodies and numbers: what a hostile client can
// put in them is refused, what the game sends reads back byte for byte.
#include <gtest/gtest.h>

#include "server/form.h"
#include "server/request.h"

using namespace scores;

TEST(ServerForm, DecodesTheGamesEncodingByteForByte) {
    const TForm form = DecodeForm("user[]=%5E2a+b%E9%2E&score[]=30&&flag&=v&", 1000, 10);
    ASSERT_TRUE(form.Error.empty()) << form.Error;
    ASSERT_EQ(form.Fields.size(), 4u);
    EXPECT_EQ(form.Fields[0].Name, "user[]");
    EXPECT_EQ(form.Fields[0].Value, "^2a b\xE9.");
    EXPECT_EQ(form.Fields[1].Value, "30");
    EXPECT_EQ(form.Fields[2].Name, "flag"); // a field without "=" has an empty value
    EXPECT_EQ(form.Fields[2].Value, "");
    EXPECT_EQ(form.Fields[3].Name, "");
    EXPECT_EQ(form.Fields[3].Value, "v");
    EXPECT_EQ(DecodeForm("a=%00", 10, 10).Fields.at(0).Value, std::string(1, '\0'));
}

TEST(ServerForm, RefusesMalformedEncodingsOversizedBodiesAndTooManyFields) {
    for (const char* bad : {"a=%", "a=%4", "a=%G0", "a=%0g", "%zz=1", "a=1&b=%%41"}) {
        const TForm form = DecodeForm(bad, 100, 10);
        EXPECT_EQ(form.Error, "malformed percent-encoding") << bad;
        EXPECT_TRUE(form.Fields.empty()) << bad;
    }
    EXPECT_FALSE(DecodeForm(std::string(101, 'a'), 100, 10).Error.empty());
    EXPECT_TRUE(DecodeForm(std::string(100, 'a'), 100, 10).Error.empty());
    EXPECT_FALSE(DecodeForm("a=1&a=2&a=3", 100, 2).Error.empty());
    EXPECT_TRUE(DecodeForm("a=1&a=2", 100, 2).Error.empty());
}

TEST(ServerForm, NumbersArePlainDecimal32BitValues) {
    EXPECT_EQ(ParseCount("0"), 0);
    EXPECT_EQ(ParseCount("2147483647"), 2147483647);
    EXPECT_EQ(ParseCount("0000000042"), 42);
    for (const char* bad : {"", "-1", "+1", " 1", "1 ", "2147483648", "99999999999", "1e3", "0x10", "١"})
        EXPECT_FALSE(ParseCount(bad).has_value()) << bad;
}

TEST(ServerForm, TopCountIsClampedAndDefaulted) {
    EXPECT_EQ(ReadTopCount({{"count", "20"}}), 20);
    EXPECT_EQ(ReadTopCount({{"count", "2000000000"}}), kMaxTopCount);
    EXPECT_EQ(ReadTopCount({{"count", "0"}}), 1);
    EXPECT_EQ(ReadTopCount({{"count", "-5"}}), kDefaultTopCount);
    EXPECT_EQ(ReadTopCount({}), kDefaultTopCount);
}

TEST(ServerForm, SendRowsAreJudgedOneByOne) {
    const std::string longName(33, 'n');
    const TSend send = ReadSend({{"user[]", "^2Ann"}, {"score[]", "30"}, {"level[]", "5"}, {"time[]", "1234"},
                                 {"user[]", ""}, {"score[]", "0"}, {"level[]", "0"}, {"time[]", "0"},
                                 {"user[]", longName}, {"score[]", "1"}, {"level[]", "1"}, {"time[]", "1"},
                                 {"user[]", "Neg"}, {"score[]", "-1"}, {"level[]", "1"}, {"time[]", "1"},
                                 {"user[]", "Line\nfeed"}, {"score[]", "1"}, {"level[]", "1"}, {"time[]", "1"},
                                 {"user[]", "Big"}, {"score[]", "4294967296"}, {"level[]", "1"}, {"time[]", "1"},
                                 {"other", "ignored"}});
    EXPECT_TRUE(send.Error.empty());
    EXPECT_EQ(send.Rows, 6);
    EXPECT_EQ(send.Empty, 1);
    EXPECT_EQ(send.Rejected, 4);
    ASSERT_EQ(send.Results.size(), 1u);
    EXPECT_EQ(send.Results[0].Name, "^2Ann");
    EXPECT_EQ(send.Results[0].Time, 1234);
    // Pair mode (a table of one row) reads the same.
    EXPECT_EQ(ReadSend({{"user", "A"}, {"score", "1"}, {"level", "1"}, {"time", "1"}}).Results.size(), 1u);
}

TEST(ServerForm, SendListsThatCannotBeLinedUpAreRefusedWhole) {
    EXPECT_FALSE(ReadSend({{"user[]", "A"}, {"score[]", "1"}, {"level[]", "1"}}).Error.empty());
    std::vector<TFormField> tooMany;
    for (int i = 0; i < 21; ++i)
        for (const char* name : {"user[]", "score[]", "level[]", "time[]"}) tooMany.push_back({name, "1"});
    EXPECT_FALSE(ReadSend(tooMany).Error.empty());
    tooMany.resize(80);
    EXPECT_TRUE(ReadSend(tooMany).Error.empty());
}
