// Record layer: windows outside a record are refused, and the header converters turn
// words into values the way stored files expect (years, azimuths, scaled words).
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "internal/uf_volume_input_record.h"

namespace {

struct Words {
    std::vector<unsigned char> bytes;
    explicit Words(int n) : bytes(2 * n, 0) {}
    void set(int pos, int value) {
        bytes[2 * pos - 2] = static_cast<unsigned char>((value >> 8) & 0xff);
        bytes[2 * pos - 1] = static_cast<unsigned char>(value & 0xff);
    }
    void text(int pos, const char* s) {
        for (int i = 0; s[i] != '\0'; ++i) {
            bytes[2 * pos - 2 + i] = static_cast<unsigned char>(s[i]);
        }
    }
    UfWords all() const { return UfWords(bytes.data(), static_cast<int>(bytes.size() / 2)); }
};

TEST(UfRecord, WindowsMustLieWhollyInsideTheRecord) {
    const Words rec(50);
    const UfRecord r(rec.bytes.data(), rec.bytes.size());
    UfWords w;
    EXPECT_TRUE(r.window(1, 50, &w));
    EXPECT_EQ(w.size(), 50);
    EXPECT_TRUE(r.window(50, 1, &w));
    EXPECT_TRUE(r.window(51, 0, &w));  // an empty run just past the end
    EXPECT_FALSE(r.window(0, 1, &w));
    EXPECT_FALSE(r.window(-3, 2, &w));
    EXPECT_FALSE(r.window(50, 2, &w));
    EXPECT_FALSE(r.window(52, 0, &w));
    EXPECT_FALSE(r.window(2, -1, &w));
    EXPECT_FALSE(r.window(10, INT_MAX, &w));
    EXPECT_FALSE(r.window(INT_MAX, 1, &w));
    // An odd trailing byte is not a word.
    const UfRecord odd(rec.bytes.data(), 7);
    EXPECT_EQ(odd.words(), 3);
    EXPECT_FALSE(odd.window(3, 2, &w));
}

TEST(UfRecord, WordsAreBigEndianAndSigned) {
    Words rec(3);
    rec.set(1, 0x1234);
    rec.set(2, -2);
    rec.set(3, -64);
    const UfWords w = rec.all();
    EXPECT_EQ(w.word(1), 0x1234);
    EXPECT_EQ(w.word(2), -2);
    EXPECT_EQ(w.fixed64(3), -1.0f);
    EXPECT_EQ(w.word(4), 0);  // outside the window: nothing is read
}

TEST(UfRecord, TwoDigitYearsFollowTheStoredFilesRule) {
    EXPECT_EQ(ufFourDigitYear(99), 1999);
    EXPECT_EQ(ufFourDigitYear(80), 1980);
    EXPECT_EQ(ufFourDigitYear(79), 2079);
    EXPECT_EQ(ufFourDigitYear(5), 2005);
    EXPECT_EQ(ufFourDigitYear(0), 2000);
    EXPECT_EQ(ufFourDigitYear(2013), 2013);
    EXPECT_EQ(ufFourDigitYear(1995), 1995);
}

TEST(UfRecord, MandatoryHeaderKeepsCharactersInFileOrderAndWrapsAzimuth) {
    Words rec(45);
    rec.text(1, "UF");
    rec.text(11, "KLIX");
    rec.text(15, "SLIDELLA");
    rec.set(21, 30 * 64 + 32);  // 30.5 seconds
    rec.set(26, 5);
    rec.set(38, 99);
    rec.text(32, "UT");
    rec.set(33, -64);
    rec.set(36, 23040);  // 360 degrees stays 360
    rec.set(45, -32768);
    UF_MANDATORY_HDR h;
    fnMandatoryHeaderConvert(rec.all(), &h);
    EXPECT_STREQ(h.m_szID, "UF");
    EXPECT_STREQ(h.m_szRadarName, "KLIX");
    EXPECT_STREQ(h.m_szSiteName, "SLIDELLA");
    EXPECT_STREQ(h.m_szTimeZone, "UT");
    EXPECT_EQ(h.m_fLatSec, 30.5f);
    EXPECT_EQ(h.m_iYear, 2005);
    EXPECT_EQ(h.m_iConvertYear, 1999);
    EXPECT_EQ(h.m_fAzimuth, 359.0f);
    EXPECT_EQ(h.m_fFixedAngle, 360.0f);
    EXPECT_EQ(h.m_iNoDataValue, -32768);
}

TEST(UfRecord, FieldSpecificWordsDependOnTheFieldName) {
    Words rec(25);
    rec.set(2, 100);  // scale factor
    rec.text(14, "DZ");
    rec.set(20, 2650);
    rec.text(21, "NF");
    rec.set(22, -150);
    rec.set(25, 64 + 16);
    UF_FIELD_HDR h;
    fnFieldHeaderConvert(rec.all(), "VR", &h);
    EXPECT_EQ(h.m_fNyquistVelocity, 26.5f);
    EXPECT_STREQ(h.m_szVelocityFlag, "NF");
    EXPECT_STREQ(h.m_szThresholdType, "DZ");
    EXPECT_EQ(h.m_fRadarConstant, 0.0f);

    fnFieldHeaderConvert(rec.all(), "DM", &h);
    EXPECT_EQ(h.m_fNyquistVelocity, 0.0f);
    EXPECT_EQ(h.m_fRadarConstant, 2650 / 64.0f);
    EXPECT_EQ(h.m_fReceiverGain, -1.5f);
    EXPECT_EQ(h.m_fPulseDuration, 1.25f);

    fnFieldHeaderConvert(rec.all(), "DZ", &h);
    EXPECT_EQ(h.m_fNyquistVelocity, 0.0f);
    EXPECT_EQ(h.m_fRadarConstant, 0.0f);

    // A zero scale factor gives no value rather than an infinity.
    rec.set(2, 0);
    fnFieldHeaderConvert(rec.all(), "VR", &h);
    EXPECT_EQ(h.m_fNyquistVelocity, 0.0f);

    // A velocity header cut after its common 19 words keeps those.
    const UfWords common(rec.bytes.data(), UF_FIELD_HDR_WORDS);
    fnFieldHeaderConvert(common, "VR", &h);
    EXPECT_EQ(h.m_fNyquistVelocity, 0.0f);
    EXPECT_STREQ(h.m_szVelocityFlag, "");
}

}  // namespace
