// The BUFR product loader against messages it did not write: the radar exchange's European
// composite checked against an independent decode (Python and zlib over the raw data
// section), messages built with the encoder to break one rule each, and damaged copies
// (truncated, bytes flipped), which are refused with a message and never bring the caller
// down.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include <zlib.h>

#include "bufr_output.h"
#include "bufr_product_input.h"
#include "export_test_support.h"
#include "internal/bufr_output_encoder.h"
#include "internal/bufr_tables.h"
#include "odim_product_fixture.h"
#include "test_support.h"

namespace {

using BufrProductPtr = std::unique_ptr<BUFR_PRODUCT, rdr::ReleaseWith<fnFreeBufrProduct>>;

// Decodes the composite with its descriptors written out by hand (widths from the WMO and
// exchange tables): header, then per grid its picture and product type, the number of
// no-data and undetect cells, the sum of the other values and the first three of them.
const char* const kCompositeScript = R"PY(
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
p = 8
p += int.from_bytes(data[p:p + 3], "big")          # section 1 (no section 2)
p += int.from_bytes(data[p:p + 3], "big")          # section 3
n4 = int.from_bytes(data[p:p + 3], "big")
bits, pos = data[p + 4:p + n4], 0
def rd(w):
    global pos
    window = int.from_bytes(bits[pos >> 3:(pos >> 3) + 8].ljust(8, b"\0"), "big")
    v = window >> (64 - (pos & 7) - w) & ((1 << w) - 1)
    pos += w
    return v
def rdbytes(n):
    return bytes(rd(8) for _ in range(n))
when = [rd(12), rd(4), rd(6), rd(5), rd(6), rd(6)]
src = [(rdbytes(3).decode(), rdbytes(16).decode().strip()) for _ in range(rd(8))]
proj = rdbytes(100).decode().strip()
xs, ys = rd(16) * 10, rd(16) * 10
nx, ny = rd(13), rd(13)
corners = [((rd(25) - 9000000) / 1e5, (rd(26) - 18000000) / 1e5) for _ in range(4)]
print("%04d%02d%02d %02d%02d%02d" % tuple(when), ",".join("%s:%s" % s for s in src))
print(proj)
print(nx, ny, xs, ys, " ".join("%.5f %.5f" % c for c in corners))
for g in range(rd(8)):
    for _ in range(2):                               # start and end times
        rd(12); rd(4); rd(6); rd(5); rd(6); rd(6)
    picture, product, method = rd(4), rd(8), rd(8)
    packed = bytearray()
    for b in range(rd(16)):
        packed.extend(rdbytes(rd(16)))
    values = struct.unpack("<%dd" % (nx * ny), zlib.decompress(bytes(packed)))
    big = struct.unpack("<d", b"\xff\xff\xff\xff\xff\xff\xef\x7f")[0]
    real = [(i, v) for i, v in enumerate(values) if abs(v) != big]
    print(picture, product, method, values.count(big), values.count(-big),
          "%.3f" % sum(v for _, v in real), " ".join("%d:%.4f" % r for r in real[:3]))
)PY";

TEST(BufrProductFile, TheExchangeCompositeLoadsIntoBaseWithBothParameters) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string file = rdrtest::sharedData("bufr/odim-compo-ref.bfr");
    int status = -1;
    const std::string reference =
        rdrtest::programOutput({"/usr/bin/python3", "-c", kCompositeScript, file}, &status);
    ASSERT_EQ(status, 0) << reference;
    std::istringstream lines(reference);
    std::string when, source, projdef, sizes;
    lines >> when;
    std::string clock;
    lines >> clock >> source;
    lines.ignore();
    std::getline(lines, projdef);
    std::getline(lines, sizes);

    BufrProductPtr bufr(fnLoadBufrProduct(file.c_str(), "COMP"));
    ASSERT_NE(bufr, nullptr);
    EXPECT_EQ(bufr->m_iHdfProductType, BUFR_EN_PRODUCT_COMP);
    EXPECT_EQ(std::string(bufr->m_what.m_szDate) + " " + bufr->m_what.m_szTime, when + " " + clock);
    EXPECT_EQ(std::string(bufr->m_what.m_szSource), source);
    const HDF_IMAGE_WHERE& image = bufr->m_where.m_image_where;
    EXPECT_EQ(std::string(image.m_szProjdef), projdef);
    char mine[256];
    std::snprintf(mine, sizeof mine, "%ld %ld %.0f %.0f %.5f %.5f %.5f %.5f %.5f %.5f %.5f %.5f",
                  image.m_lXsize, image.m_lYsize, image.m_dXscale * 1000, image.m_dYscale * 1000,
                  image.m_UL_lat, image.m_UL_lon, image.m_UR_lat, image.m_UR_lon, image.m_LR_lat,
                  image.m_LR_lon, image.m_LL_lat, image.m_LL_lon);
    EXPECT_EQ(std::string(mine), sizes);

    // Both grids are composites of the surface field: one BASE dataset with two moments
    // named after their product types.
    rdr::StdProductPtr p(fnBufrProductSyncUpStd(bufr.get()));
    ASSERT_NE(p, nullptr);
    const STD_TOTAL_PRODUCT& total = p->m_totalProduct;
    EXPECT_EQ(
        total.m_iMaxPpi + total.m_iMaxCappi + total.m_iMaxCmax + total.m_iMaxVil + total.m_iMaxEtop,
        0);
    ASSERT_EQ(total.m_iMaxBase, 1);
    const int ydim = static_cast<int>(p->m_product_hdr.m_lYsize);
    const int xdim = static_cast<int>(p->m_product_hdr.m_lXsize);
    for (const char* field : {"PT004", "PTNONE"}) {
        SCOPED_TRACE(field);
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        std::istringstream grid(line);
        int picture = 0, product = 0, method = 0;
        long nNodata = 0, nUndetect = 0;
        double sum = 0;
        grid >> picture >> product >> method >> nNodata >> nUndetect >> sum;
        EXPECT_EQ(picture, 1);  // COMPOSITE
        float** cells = fnGetStdProductDataByIdx(p.get(), "BASE", 0, field);
        ASSERT_NE(cells, nullptr);
        long nOut = 0, nNone = 0;
        double mySum = 0;
        for (int y = 0; y < ydim; ++y) {
            for (int x = 0; x < xdim; ++x) {
                const float v = cells[y][x];
                nOut += v == -9998.0f;
                nNone += v == -9999.0f;
                mySum += v > -9998.0f ? v : 0.0;
            }
        }
        EXPECT_EQ(nOut, nNodata);
        EXPECT_EQ(nNone, nUndetect);
        EXPECT_NEAR(mySum, sum, 1e-3 * std::max(1.0, std::fabs(sum)));
        std::string first;
        while (grid >> first) {
            const long index = std::stol(first.substr(0, first.find(':')));
            const double value = std::stod(first.substr(first.find(':') + 1));
            EXPECT_NEAR(cells[index / xdim][index % xdim], value, 1e-4) << first;
        }
        fnFreeMatrix2D(reinterpret_cast<void**>(cells), ydim);
    }
}

// A message of our layout, built value by value so that a test can break one rule: the
// grid size, the compressed stream, where the sizes come, a grid name after the last grid.
struct Crafted {
    long xsize = 4, ysize = 3;
    int grids = 1;
    std::vector<unsigned char> stream;  // defaults to 12 zero doubles compressed
    bool sizesFirst = true;
    bool nameAfterLastGrid = false;
    std::string quantity = "TH";
    bool emptyLastBlock = false;
};

std::vector<unsigned char> craft(const Crafted& c) {
    std::vector<unsigned char> stream = c.stream;
    if (stream.empty()) {
        const std::vector<unsigned char> raw(12 * sizeof(double), 0);
        uLongf n = compressBound(static_cast<uLong>(raw.size()));
        stream.resize(n);
        compress(stream.data(), &n, raw.data(), static_cast<uLong>(raw.size()));
        stream.resize(n);
    }
    std::vector<int> d = {bufrFxy(3, 1, 11), bufrFxy(3, 1, 13)};
    std::vector<double> v = {2026, 7, 15, 9, 30, 0};
    const auto text = [&v](const std::string& s, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            v.push_back(i < s.size() ? static_cast<unsigned char>(s[i]) : ' ');
        }
    };
    if (c.sizesFirst) {
        d.insert(d.end(),
                 {bufrFxy(2, 1, 129), bufrFxy(0, 30, 21), bufrFxy(0, 30, 22), bufrFxy(2, 1, 0)});
        v.insert(v.end(), {static_cast<double>(c.xsize), static_cast<double>(c.ysize)});
    }
    d.insert(d.end(),
             {bufrFxy(1, 5, 0), bufrFxy(0, 31, 1), bufrFxy(0, 30, 199), bufrFxy(0, 21, 200),
              bufrFxy(0, 21, 200), bufrFxy(0, 30, 200), bufrFxy(3, 21, 206)});
    v.push_back(c.grids);
    for (int g = 0; g < c.grids; ++g) {
        text("PPI", 6);
        v.insert(v.end(), {500.0 + g, 0.0});  // one dataset per grid
        text(c.quantity, 7);
        // A stream that fills its blocks exactly ends with an empty block.
        v.insert(v.end(), {0, c.emptyLastBlock ? 2.0 : 1.0, static_cast<double>(stream.size())});
        for (unsigned char b : stream) {
            v.push_back(b == 255 ? kBufrMissingValue : b);
        }
        if (c.emptyLastBlock) {
            v.push_back(0);
        }
    }
    if (c.nameAfterLastGrid) {
        d.push_back(bufrFxy(0, 30, 199));
        text("CAPPI", 6);
    }
    if (!c.sizesFirst) {
        d.insert(d.end(),
                 {bufrFxy(2, 1, 129), bufrFxy(0, 30, 21), bufrFxy(0, 30, 22), bufrFxy(2, 1, 0)});
        v.insert(v.end(), {static_cast<double>(c.xsize), static_cast<double>(c.ysize)});
    }
    BufrTables tables;
    std::string why;
    EXPECT_TRUE(tables.load(bufrTableRoot(), 16, 255, 0, 9, &why)) << why;
    BufrIdentification id;
    id.iCentre = 255;
    id.iMasterVersion = 16;
    id.iLocalVersion = 9;
    id.iDataCategory = 6;
    std::vector<unsigned char> message;
    EXPECT_TRUE(encodeBufrMessage(id, d, v, tables, &message, &why)) << why;
    return message;
}

std::string refusal(const std::vector<unsigned char>& bytes, const rdrtest::TempDir& dir) {
    const std::string file = dir.file("crafted.bfr");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    testing::internal::CaptureStderr();
    BufrProductPtr p(fnLoadBufrProduct(file.c_str(), "AZIM"));
    const std::string err = testing::internal::GetCapturedStderr();
    return p == nullptr ? err : "loaded";
}

TEST(BufrProductFile, GridsThatDoNotFitTheirSizeOrCountAreRefused) {
    rdrtest::TempDir dir;
    EXPECT_EQ(refusal(craft({}), dir), "loaded");
    Crafted twoGridsEmptyBlocks;
    twoGridsEmptyBlocks.grids = 2;
    twoGridsEmptyBlocks.emptyLastBlock = true;
    EXPECT_EQ(refusal(craft(twoGridsEmptyBlocks), dir), "loaded");

    Crafted wrongSize;
    wrongSize.xsize = 5;  // 15 cells where the stream holds 12
    EXPECT_NE(refusal(craft(wrongSize), dir).find("inflates to 96 bytes where 120"),
              std::string::npos);
    Crafted tooSmall;
    tooSmall.xsize = 2;  // 6 cells where the stream holds 12
    EXPECT_NE(refusal(craft(tooSmall), dir).find("inflates to more than the 6 cells"),
              std::string::npos);
    Crafted huge;
    huge.xsize = huge.ysize = 8000;  // 512 MB of doubles from a stream of a few bytes
    EXPECT_NE(refusal(craft(huge), dir).find("compressed bytes cannot hold the 64000000 cells"),
              std::string::npos);
    Crafted notZlib;
    notZlib.stream = {1, 2, 3, 4, 5};
    EXPECT_NE(refusal(craft(notZlib), dir).find("uncompress fail"), std::string::npos);
    Crafted extra;
    extra.grids = 2;
    extra.nameAfterLastGrid = true;
    EXPECT_NE(refusal(craft(extra), dir).find("more grids than the 2 announced"),
              std::string::npos);
    Crafted longName;
    longName.quantity = "VRADHXX";
    EXPECT_NE(refusal(craft(longName), dir).find("'VRADHXX' is longer than 6"), std::string::npos);
    Crafted manyElevations;
    manyElevations.grids = 100;
    EXPECT_NE(refusal(craft(manyElevations), dir).find("more than 99 PPI datasets"),
              std::string::npos);
    Crafted noSizes;
    noSizes.sizesFirst = false;
    EXPECT_NE(refusal(craft(noSizes), dir).find("before the grid size and count"),
              std::string::npos);
}

TEST(BufrProductFile, TruncatedAndFlippedCopiesAreRefusedWithAMessage) {
    rdrtest::TempDir dir;
    const std::string good = dir.file("good.bfr");
    rdr::StdProductPtr p = odimfix::siteProduct(9, 11);
    {
        BufrProductPtr bufr(fnStdProductSyncDownBufr(p.get()));
        ASSERT_NE(bufr, nullptr);
        ASSERT_EQ(fnWriteBufrProduct(bufr.get(), good.c_str()), 1);
    }
    std::ifstream in(good, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 200u);
    for (size_t cut : {size_t{0}, size_t{4}, size_t{30}, size_t{60}, bytes.size() / 2,
                       bytes.size() - 5, bytes.size() - 1}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::vector<unsigned char> part(bytes.begin(),
                                              bytes.begin() + static_cast<long>(cut));
        const std::string err = refusal(part, dir);
        EXPECT_NE(err, "loaded");
        EXPECT_NE(err.find("fnLoadBufrProduct : "), std::string::npos) << err;
    }
    // Flipped bytes may leave a message that still decodes (a changed cell); otherwise the
    // refusal names itself. Either way nothing crashes, which the sanitizer run checks.
    std::mt19937 rng(12);
    int refused = 0;
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<unsigned char> copy = bytes;
        for (int k = 0; k < 3; ++k) {
            copy[rng() % copy.size()] ^= static_cast<unsigned char>(1u << (rng() % 8));
        }
        const std::string err = refusal(copy, dir);
        if (err != "loaded") {
            ++refused;
            EXPECT_NE(err.find("fnLoadBufrProduct : "), std::string::npos) << err;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_EQ(BufrProductPtr(fnLoadBufrProduct(good.c_str(), "VOL")), nullptr);

    // The exchange's composite cut inside its header, its first grid and its end section.
    if (rdrtest::haveSharedData()) {
        std::ifstream sample(rdrtest::sharedData("bufr/odim-compo-ref.bfr"), std::ios::binary);
        const std::vector<unsigned char> compo((std::istreambuf_iterator<char>(sample)),
                                               std::istreambuf_iterator<char>());
        ASSERT_GT(compo.size(), 1000u);
        for (size_t cut : {size_t{100}, compo.size() / 3, compo.size() - 2}) {
            SCOPED_TRACE("composite cut at " + std::to_string(cut));
            const std::string err =
                refusal({compo.begin(), compo.begin() + static_cast<long>(cut)}, dir);
            EXPECT_NE(err.find("fnLoadBufrProduct : "), std::string::npos) << err;
        }
    }
}

}  // namespace
