/*
 * Conformance tests: MulDiv's rounding and overflow, wsprintfA's
 * conversions and limits.
 */
#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <string>

namespace {

TEST(MulDiv, RoundsHalvesAwayFromZero)
{
    const int cases[][4] = {
        {1, 7, 4, 2},         {-1, 7, 4, -2},      {5, 1, 2, 3}, {-5, 1, 2, -3},
        {5, 1, -2, -3},       {-5, -1, -2, -3},    {3, 1, 2, 2}, {7, 1, 3, 2},
        {300, 600, 72, 2500}, {12, 1200, 72, 200}, {0, 5, 7, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(MulDiv(c[0], c[1], c[2]), c[3]) << c[0] << "*" << c[1] << "/" << c[2];
}

TEST(MulDiv, UsesA64BitProduct)
{
    EXPECT_EQ(MulDiv(INT_MAX / 2, 3, 2), 1610612735);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
}

TEST(MulDiv, ZeroDivisorOrOverflowGivesMinusOne)
{
    EXPECT_EQ(MulDiv(1, 2, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, 2), -1);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 1), -1);
    EXPECT_EQ(MulDiv(INT_MIN, INT_MIN, 1), -1);
}

TEST(Wsprintf, IntegersAreThirtyTwoBitsWhateverTheSize)
{
    char out[1024];
    EXPECT_EQ(wsprintfA(out, "%d %ld %i %u %lu", -5, static_cast<LONG>(-6), 7, 4000000000u,
                        static_cast<DWORD>(8)),
              20);
    EXPECT_STREQ(out, "-5 -6 7 4000000000 8");
    wsprintfA(out, "%x %X %#x %#X %lx", 255, 255, 255, 255, 0xABCDEFu);
    EXPECT_STREQ(out, "ff FF 0xff 0XFF abcdef");
    wsprintfA(out, "%hd %hu", 70000, 70000);
    EXPECT_STREQ(out, "4464 4464");
}

TEST(Wsprintf, WidthPrecisionAndPadding)
{
    char out[1024];
    wsprintfA(out, "[%5d][%-5d][%05d][%.3d][%08X][%-4s][%6s][%.2s]", 42, 42, -42, 7, 0xBEEF, "ab",
              "cd", "xyz");
    EXPECT_STREQ(out, "[   42][42   ][-0042][007][0000BEEF][ab  ][    cd][xy]");
}

TEST(Wsprintf, StringsCharactersAndLiterals)
{
    char out[1024];
    const wchar_t wide[] = L"wide";
    const int n = wsprintfA(out, "%s|%c|%ls|%S|%%|%q|%s", "text", 'Z', wide, wide,
                            static_cast<const char *>(nullptr));
    EXPECT_STREQ(out, "text|Z|wide|wide|%|q|(null)");
    EXPECT_EQ(n, static_cast<int>(std::string(out).size()));
}

TEST(Wsprintf, OutputStopsAt1023Characters)
{
    std::string big(2000, 'a');
    char out[1024];
    EXPECT_EQ(wsprintfA(out, "%s", big.c_str()), 1023);
    EXPECT_EQ(std::string(out), std::string(1023, 'a'));
}

TEST(Wsprintf, FormatOfTheQuantityLine)
{
    char out[1024];
    wsprintfA(out, "%s %s      Days Supply: %d", "30", "TABLETS", 30);
    EXPECT_STREQ(out, "30 TABLETS      Days Supply: 30");
}

} // namespace
