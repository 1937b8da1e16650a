// Word splitting, time numbers and the allocation helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "cgi_words.h"
#include "nr_alloc.h"
#include "time_seq.h"

TEST(GetWord, SplitsAtTheFirstStopAndShiftsTheRest) {
    char line[] = "a=1&b=2";
    char word[sizeof line];
    getword(word, line, '&');
    EXPECT_STREQ(word, "a=1");
    EXPECT_STREQ(line, "b=2");
    getword(word, line, '&');
    EXPECT_STREQ(word, "b=2");
    EXPECT_STREQ(line, "");
    char pair[] = "obs=";
    getword(word, pair, '=');
    EXPECT_STREQ(word, "obs");
    EXPECT_STREQ(pair, "");
}

TEST(TimeSeq, CountsFrom1900WithEveryFourthYearLeap) {
    EXPECT_EQ(time2seq(1900, 1, 1, 0, 0, 'm'), 0);
    EXPECT_EQ(time2seq(1900, 3, 1, 0, 0, 'd'), 31 + 29);  // 1900 counts as leap here
    EXPECT_EQ(time2seq(1901, 1, 1, 0, 0, 'd'), 366);
    EXPECT_EQ(time2seq(2024, 3, 1, 5, 0, 'h') - time2seq(2024, 2, 28, 5, 0, 'h'), 48);

    int YY, MM, DD, HH, MI;
    int seq = time2seq(2024, 3, 1, 0, 0, 'm');
    seq2time(seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
    EXPECT_EQ((YY * 100 + MM) * 100 + DD, 20240301);
    EXPECT_EQ(HH * 100 + MI, 0);
    seq2time(seq, &YY, &MM, &DD, &HH, &MI, 'm', 'y');
    EXPECT_EQ((YY * 100 + MM) * 100 + DD, 20240229);
    EXPECT_EQ(HH, 24);
}

TEST(TimeSeq, RoundTripsEveryDayFrom1901To2099) {
    int prev = -1;
    for (int y = 1901; y <= 2099; y++) {
        for (int m = 1; m <= 12; m++) {
            for (int d = 1; d <= pv_days_in_month(y, m); d++) {
                int seq = time2seq(y, m, d, 23, 59, 'm');
                ASSERT_GT(seq, prev);
                prev = seq;
                int YY, MM, DD, HH, MI;
                seq2time(seq, &YY, &MM, &DD, &HH, &MI, 'm', 'n');
                ASSERT_EQ((YY * 100 + MM) * 100 + DD, (y * 100 + m) * 100 + d);
                ASSERT_EQ(HH * 100 + MI, 2359);
            }
        }
    }
}

TEST(Alloc, MatricesAreAddressedFromTheirLowerBounds) {
    float** m = matrix(0, 2, 0, 3);
    m[2][3] = 1.5f;
    EXPECT_EQ(m[2][3], 1.5f);
    free_matrix(m, 0, 2, 0, 3);
    int16_t* v = svector(5, 9);
    v[5] = 1;
    v[9] = 2;
    EXPECT_EQ(v[5] + v[9], 3);
    free_svector(v, 5, 9);
}

TEST(AllocDeathTest, FailureEndsTheProcessWithTheThreeLineMessage) {
    EXPECT_EXIT(cvector(10, 0), ::testing::ExitedWithCode(1),
                "Numerical Recipes run-time error...\nallocation failure in cvector\\(\\)\n"
                "...now exiting to system...");
}
