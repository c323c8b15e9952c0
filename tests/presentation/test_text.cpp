// Markup stripping, substring search and extraction, number texts. Measuring,
// drawing and the cursor need a window: tests/game/test_render.cpp.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstring>
#include <string>
#include <string_view>

#include "engine/engine.h"
#include "presentation/text.h"

namespace {

TEST(StripMarkup, RemovesCodesAsDrawingWouldSkipThem) {
    EXPECT_EQ(StripMarkup("^1Red^7White"), "RedWhite");
    EXPECT_EQ(StripMarkup("^x00FF80abc"), "abc");
    EXPECT_EQ(StripMarkup("^Xff0000abc"), "abc");
    EXPECT_EQ(StripMarkup("a^-b"), "ab");
    EXPECT_EQ(StripMarkup("^x888888Name ^3: ^7Bob"), "Name : Bob");
    EXPECT_EQ(StripMarkup(""), "");
    EXPECT_EQ(StripMarkup("plain text"), "plain text");
}

TEST(StripMarkup, RareCasesWhereWidthAndDrawingDiffer) {
    EXPECT_EQ(StripMarkup("50^%"), "50") << "the character after a stray caret is lost";
    EXPECT_EQ(StripMarkup("^8"), "") << "8 is no colour code";
    EXPECT_EQ(StripMarkup("^^3x"), "3x") << "caret pairs";
    EXPECT_EQ(StripMarkup("end^"), "end") << "trailing caret";
    EXPECT_EQ(StripMarkup("^"), "");
}

TEST(StripMarkup, TruncatedHexCodeNeverReadsPastTheText) {
    EXPECT_EQ(StripMarkup("ab^x12"), "ab12");
    EXPECT_EQ(StripMarkup("ab^x"), "ab");
    EXPECT_EQ(StripMarkup("ab^X12345"), "ab12345");
    EXPECT_EQ(StripMarkup("ab^x123456"), "ab");
    // A view into a larger buffer: the bytes beyond the view must not be taken.
    const char buffer[] = "^x12ZZZZZZ";
    EXPECT_EQ(StripMarkup(std::string_view(buffer, 4)), "12");
    EXPECT_EQ(StripMarkup(std::string_view(buffer, 1)), "");
}

TEST(FindFrom, SearchesFromAOneBasedPosition) {
    EXPECT_EQ(FindFrom("ab", "xabab", 3), 4);
    EXPECT_EQ(FindFrom("ab", "xabab", 1), 2);
    EXPECT_EQ(FindFrom("ab", "xabab", 2), 2);
    EXPECT_EQ(FindFrom("ab", "xabab", 5), 0);
    EXPECT_EQ(FindFrom("ab", "xabab", 99), 0);
    EXPECT_EQ(FindFrom("", "xabab", 1), 0);
    EXPECT_EQ(FindFrom("abc", "ab", 1), 0);
    EXPECT_EQ(FindFrom("ab", "xabab", 0), 2) << "a start before the text searches from the first";
    EXPECT_EQ(FindFrom("ab", "xabab", -5), 2);
}

TEST(FindFrom, ATextLongerThan2GiBIsSearchedInItsFirst2To31Minus1Bytes) {
    // Untouched pages of an anonymous mapping cost no memory.
    const size_t size = (size_t{1} << 31) + 4096;
    void* map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char* text = static_cast<char*>(map);
    text[0x7FFFFFFE] = 'a'; // the last byte searched
    text[0x7FFFFFFF] = 'z'; // the first byte past it
    const std::string_view view(text, size);
    EXPECT_EQ(FindFrom("a", view, 1), 0x7FFFFFFF);
    EXPECT_EQ(FindFrom("a", view, 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(FindFrom("z", view, 1), 0) << "no position past the last searched byte";
    int32_t pos = 1;
    std::string out;
    ExtractBetween("a", view, "z", pos, out);
    EXPECT_EQ(pos, 0x7FFFFFFF) << "the piece's start is capped, not wrapped";
    EXPECT_EQ(out, "");
    munmap(map, size);
}

TEST(ExtractBetween, CutsFieldsAndLeavesThePositionAtThePiece) {
    int32_t pos = 1;
    std::string out;
    ExtractBetween("<n>", "<n>Bob</n>", "</n>", pos, out);
    EXPECT_EQ(out, "Bob");
    EXPECT_EQ(pos, 4);

    // A sequence of fields: each start delimiter moves the search on.
    const std::string reply = "<n>Ann</n><s>10</s><n>Bob</n><s>7</s>";
    pos = 1;
    std::string names, scores;
    for (int i = 0; i < 2; ++i) {
        ExtractBetween("<n>", reply, "</n>", pos, out);
        names += out + ";";
        ExtractBetween("<s>", reply, "</s>", pos, out);
        scores += out + ";";
    }
    EXPECT_EQ(names, "Ann;Bob;");
    EXPECT_EQ(scores, "10;7;");
}

TEST(ExtractBetween, MissingDelimitersGiveEmptyPieces) {
    int32_t pos = 1;
    std::string out = "stale";
    ExtractBetween("<n>", "<n>Bob", "</n>", pos, out);
    EXPECT_EQ(out, "");
    EXPECT_EQ(pos, 4);
    pos = 1;
    ExtractBetween("<q>", "<n>Bob</n>", "</n>", pos, out);
    EXPECT_EQ(pos, 3) << "not found: the length of the start delimiter";
    EXPECT_EQ(out, ">Bob");
    pos = 1;
    ExtractBetween("", "Bob</n>", "</n>", pos, out);
    EXPECT_EQ(out, "Bob");
    pos = -7;
    ExtractBetween("", "Bob</n>", "</n>", pos, out);
    EXPECT_EQ(out, "Bob") << "a position before the text is taken as its start";
    pos = 1000;
    ExtractBetween("", "Bob</n>", "</n>", pos, out);
    EXPECT_EQ(out, "");
}

TEST(NumberTexts, FixedDecimalsAndPadding) {
    EXPECT_EQ(FloatText(0, 2, 12.5), "12.50");
    EXPECT_EQ(FloatText(8, 2, 12.5), "   12.50");
    EXPECT_EQ(FloatText(0, 2, 0), "0.00");
    EXPECT_EQ(FloatText(0, 2, 0.05), "0.05");
    EXPECT_EQ(FloatText(0, 2, 1234 * 0.01), "12.34");
    EXPECT_EQ(FloatText(0, 0, 3.7), "4");
    EXPECT_EQ(FloatText(0, 2, -1.5), "-1.50");
    EXPECT_EQ(FloatText(2, 2, 123.456), "123.46") << "width is a minimum";
    EXPECT_FALSE(FloatText(0, 2, 1e308).empty());
    EXPECT_EQ(FloatText(-3, -1, 2), "2");
    EXPECT_EQ(IntText(42, 0), "42");
    EXPECT_EQ(IntText(42, 5), "   42");
    EXPECT_EQ(IntText(-7, 3), " -7");
    EXPECT_EQ(IntText(-2147483647 - 1, 0), "-2147483648");
    EXPECT_EQ(IntText(123456, 3), "123456");
}

} // namespace
