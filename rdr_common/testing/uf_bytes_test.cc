// The independent UF writer puts every word where the format says (positions worked out
// by hand here), and the library's encoder writes the same words for the same volume.
#include "uf_bytes.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "test_support.h"
#include "uf_fixture.h"
#include "uf_radar.h"
#include "uf_volume_output.h"

using ufbytes::Bytes;

namespace {

std::string text(const Bytes& record, int pos, int words) {
    return std::string(record.begin() + 2 * (pos - 1), record.begin() + 2 * (pos - 1 + words));
}

int w(const Bytes& record, int pos) {
    return ufbytes::wordAt(record, pos);
}

TEST(UfBytes, WordsStandWhereTheFormatPutsThem) {
    // DZ (19-word header) and VR (21 words) of 3 bins after the 45 mandatory words, the 14
    // optional ones (46-59) and the data header (60-66): DZ header 67-85, bins 86-88; VR
    // header 89-109, bins 110-112.
    const Bytes r = ufbytes::writeRecords(ufbytes::smallVolume(1, 1, 3)).at(0);
    ASSERT_EQ(r.size(), 2u * 112);
    EXPECT_EQ(text(r, 1, 1), "UF");
    EXPECT_EQ(w(r, 2), 112);
    EXPECT_EQ(w(r, 3), 46);
    EXPECT_EQ(w(r, 4), 60);
    EXPECT_EQ(w(r, 5), 60);
    EXPECT_EQ(w(r, 7), 7);
    EXPECT_EQ(w(r, 10), 1);
    EXPECT_EQ(text(r, 11, 4), "RDRTEST1");
    EXPECT_EQ(text(r, 15, 4), std::string("GWANAK\0\0", 8));
    // 37.4375 N = 37 26' 15"; 126.96875 E = 126 58' 7.5"; seconds in 64ths.
    EXPECT_EQ(w(r, 19), 37);
    EXPECT_EQ(w(r, 20), 26);
    EXPECT_EQ(w(r, 21), 15 * 64);
    EXPECT_EQ(w(r, 22), 126);
    EXPECT_EQ(w(r, 23), 58);
    EXPECT_EQ(w(r, 24), 480);
    EXPECT_EQ(w(r, 25), 635);
    EXPECT_EQ(w(r, 26), 2024);
    EXPECT_EQ(w(r, 31), 0);
    EXPECT_EQ(text(r, 32, 1), "UT");
    EXPECT_EQ(w(r, 33), 32);       // azimuth 0.5
    EXPECT_EQ(w(r, 34), 33);       // elevation 0.515625
    EXPECT_EQ(w(r, 37), 18 * 64);  // sweep rate
    EXPECT_EQ(w(r, 40), 16);       // generation day
    EXPECT_EQ(w(r, 45), -32768);
    EXPECT_EQ(text(r, 46, 4), std::string("SUMMER\0\0", 8));
    EXPECT_EQ(w(r, 50), 16);  // baseline azimuth 0.25
    EXPECT_EQ(w(r, 54), 5);   // scan start second
    EXPECT_EQ(w(r, 59), 3);   // flag
    EXPECT_EQ(w(r, 60), 2);
    EXPECT_EQ(w(r, 62), 2);
    EXPECT_EQ(text(r, 63, 1), "DZ");
    EXPECT_EQ(w(r, 64), 67);
    EXPECT_EQ(text(r, 65, 1), "VR");
    EXPECT_EQ(w(r, 66), 89);
    EXPECT_EQ(w(r, 67), 86);
    EXPECT_EQ(w(r, 68), 100);
    EXPECT_EQ(w(r, 70), -125);
    EXPECT_EQ(w(r, 72), 3);
    EXPECT_EQ(w(r, 74), 61);  // beam width 0.953125
    EXPECT_EQ(w(r, 86), -32768);
    EXPECT_EQ(w(r, 87), -999);
    EXPECT_EQ(w(r, 89), 110);
    EXPECT_EQ(w(r, 108), 2650);  // Nyquist 26.5 m/s x 100
    EXPECT_EQ(text(r, 109, 1), "NF");
    EXPECT_EQ(w(r, 111), -2497);
}

TEST(UfBytes, CalibrationLocalUseAndAMissingOptionalHeader) {
    ufbytes::Volume v = ufbytes::smallVolume(1, 1, 2);
    v.latitude = ufbytes::toDms(-33.50390625);  // 33 30' 14.0625" S
    ufbytes::Ray& ray = v.sweeps[0].rays[0];
    ray.hasOptionalHeader = false;
    ray.localUse = {'A', 'B', 'C', 'D'};
    ufbytes::Field dm;
    dm.name = "DM";
    dm.scaleFactor = 10;
    dm.calibration = {70.25, -110.5, 30, 85, 45.5, 0.75};
    ray.fields = {dm};
    const Bytes r = ufbytes::writeRecord(v, v.sweeps[0], ray);
    EXPECT_EQ(w(r, 19), -33);
    EXPECT_EQ(w(r, 20), -30);
    EXPECT_EQ(w(r, 21), -900);
    EXPECT_EQ(w(r, 3), 46);
    EXPECT_EQ(w(r, 4), 46);
    EXPECT_EQ(text(r, 46, 2), "ABCD");
    EXPECT_EQ(w(r, 5), 48);
    const int fh = w(r, 52);
    ASSERT_EQ(fh, 53);
    EXPECT_EQ(w(r, fh), 53 + 25);
    EXPECT_EQ(w(r, fh + 19), 70 * 64 + 16);
    EXPECT_EQ(w(r, fh + 20), -1105);
    EXPECT_EQ(w(r, fh + 23), 455);
    EXPECT_EQ(w(r, fh + 24), 48);
    EXPECT_EQ(w(r, 2), 53 + 25 - 1);  // no bins
}

TEST(UfBytes, WhatNoRecordCanHoldIsRefused) {
    ufbytes::Volume v = ufbytes::smallVolume(1, 1, 2);
    ufbytes::Ray& ray = v.sweeps[0].rays[0];
    ufbytes::Volume longName = v;
    longName.siteName = "NINECHARS";
    EXPECT_THROW(ufbytes::writeRecords(longName), std::invalid_argument);
    ufbytes::Volume farAzimuth = v;
    farAzimuth.sweeps[0].rays[0].azimuth = 600;  // 38400 in 64ths
    EXPECT_THROW(ufbytes::writeRecords(farAzimuth), std::invalid_argument);
    ray.localUse = {'A'};
    EXPECT_THROW(ufbytes::writeRecords(v), std::invalid_argument);
    ray.localUse.clear();
    ray.fields[0].bins.resize(33000);
    EXPECT_THROW(ufbytes::writeRecords(v), std::invalid_argument);
}

TEST(UfBytes, DifferencesAreNamedByWhereTheyStand) {
    const std::vector<Bytes> a = ufbytes::writeRecords(ufbytes::smallVolume(1, 2, 3));
    std::vector<Bytes> b = a;
    EXPECT_EQ(ufbytes::firstDifference(a, b), "");
    ufbytes::setWordAt(b[1], 108, 2651);
    EXPECT_EQ(ufbytes::firstDifference(a, b),
              "record 2 word 108 (field VR header word 20): 2650 != 2651");
    b[1] = a[1];
    ufbytes::setWordAt(b[1], 87, 5);
    EXPECT_EQ(ufbytes::firstDifference(a, b), "record 2 word 87 (field DZ bin 1): -992 != 5");
    b.pop_back();
    EXPECT_EQ(ufbytes::firstDifference(a, b), "records: 2 != 1");
}

// ---- the library's encoder against the independent writer ------------------------------

TEST(UfBytesAgainstTheEncoder, ASyncedDownVolumeEncodesToTheSameWords) {
    rdrtest::StdRadarPtr std = uffix::smallStdVolume(3, 10, 37);
    uffix::UfRadarPtr uf(fnStdSyncDownUf(std.get()));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(ufbytes::firstDifference(uffix::encodeVolume(uf.get()),
                                       ufbytes::writeRecords(uffix::describeUf(uf.get()))),
              "");
}

TEST(UfBytesAgainstTheEncoder, WhatTheWriterWroteIsEncodedAgainWordForWord) {
    ufbytes::Volume v = ufbytes::smallVolume(2, 4, 25);
    ufbytes::Ray& ray = v.sweeps[1].rays[2];
    ray.localUse = {'L', 'O', 'C', 'A', 'L', '!'};
    ufbytes::Field dm;
    dm.name = "DM";
    dm.scaleFactor = 10;
    dm.calibration = {70.25, -110.5, 30, 85, 45.5, 0.75};
    dm.bins = {1, 2, 3};
    ray.fields.push_back(dm);
    ray.fields[1].startM = -375;
    ray.fields[1].spacingM = 125;
    v.longitude = ufbytes::toDms(-97.25);
    // As in many stored files, only the first record carries the optional header.
    for (ufbytes::Sweep& sweep : v.sweeps) {
        for (ufbytes::Ray& r : sweep.rays) {
            r.hasOptionalHeader = &r == &v.sweeps[0].rays[0];
        }
    }
    const std::vector<Bytes> written = ufbytes::writeRecords(v);
    rdrtest::TempDir dir;
    const std::string file = dir.file("written.uf");
    ufbytes::writeBytes(file, ufbytes::frameRecords(written, ufbytes::Framing::four));
    uffix::UfRadarPtr uf(fnLoadUf(file.c_str()));
    ASSERT_NE(uf, nullptr);
    EXPECT_EQ(ufbytes::firstDifference(uffix::encodeVolume(uf.get()), written), "");
}

TEST(UfBytesAgainstTheEncoder, RealVolumesEncodeToTheSameWords) {
    RDR_REQUIRE_SHARED_DATA();
    for (const char* name : {"KLIX20050828_180149_rsl.uf", "MC3E_NPOL_2011_0524_2356_hid.uf.gz",
                             "mc3e_npol_20110427_114155.uf", "example_uf_ppi.uf"}) {
        uffix::UfRadarPtr uf(fnLoadUf(rdrtest::sharedData(std::string("uf/") + name).c_str()));
        ASSERT_NE(uf, nullptr) << name;
        EXPECT_EQ(ufbytes::firstDifference(uffix::encodeVolume(uf.get()),
                                           ufbytes::writeRecords(uffix::describeUf(uf.get()))),
                  "")
            << name;
    }
}

}  // namespace
