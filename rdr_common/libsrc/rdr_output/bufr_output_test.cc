// BUFR product output and its way back: standard product -> BUFR_PRODUCT -> message ->
// loader -> standard product keeps every cell and both product parameters of every family;
// ecCodes' bufr_dump, given our tables, decodes the same values; a product that cannot be
// written whole leaves no file and the old one as it was.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>

#include "bufr_output.h"
#include "bufr_product_input.h"
#include "export_test_support.h"
#include "internal/bufr_decoder.h"
#include "internal/bufr_output_encoder.h"
#include "internal/bufr_tables.h"
#include "odim_product_fixture.h"
#include "test_support.h"

namespace {

using BufrProductPtr = std::unique_ptr<BUFR_PRODUCT, rdr::ReleaseWith<fnFreeBufrProduct>>;

std::string contents(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

bool writeBufr(STD_PRODUCT* p, const std::string& file) {
    BufrProductPtr bufr(fnStdProductSyncDownBufr(p));
    return bufr != nullptr && fnWriteBufrProduct(bufr.get(), file.c_str()) == 1;
}

rdr::StdProductPtr readBufr(const std::string& file, const char* szObject) {
    BufrProductPtr bufr(fnLoadBufrProduct(file.c_str(), szObject));
    return rdr::StdProductPtr(bufr != nullptr ? fnBufrProductSyncUpStd(bufr.get()) : nullptr);
}

// What a BUFR product message does not carry: the header's task, system, Nyquist
// velocity, antenna height and composite method.
void forgetWhatBufrDoesNotCarry(STD_PRODUCT* p) {
    STD_PRODUCT_HDR& h = p->m_product_hdr;
    h.m_szTask[0] = h.m_szSystem[0] = h.m_szCompMethod[0] = '\0';
    h.m_dNi = 0.0;
    h.m_iAnteHeightM = 0;
}

// Positions travel in units of 1e-5 degree.
void toBufrPrecision(STD_PRODUCT* p) {
    STD_PRODUCT_HDR& h = p->m_product_hdr;
    for (double* v : {&h.m_dLon, &h.m_dLat, &h.m_LL_lon, &h.m_LL_lat, &h.m_UL_lon, &h.m_UL_lat,
                      &h.m_UR_lon, &h.m_UR_lat, &h.m_LR_lon, &h.m_LR_lat}) {
        *v = std::nearbyint(*v * 1e5) / 1e5;
    }
}

TEST(BufrProduct, EveryFamilyComesBackUnchangedSiteAndComposite) {
    rdrtest::TempDir dir;
    for (const auto& [ydim, xdim] : {std::pair{41, 67}, std::pair{3, 7}, std::pair{1, 1}}) {
        SCOPED_TRACE(std::to_string(ydim) + " x " + std::to_string(xdim));
        for (const bool bSite : {true, false}) {
            SCOPED_TRACE(bSite ? "site" : "composite");
            const auto make = [&] {
                return bSite ? odimfix::siteProduct(ydim, xdim)
                             : odimfix::compProduct(ydim, xdim, "MAX");
            };
            rdr::StdProductPtr written = make();
            rdr::StdProductPtr expected = make();
            forgetWhatBufrDoesNotCarry(expected.get());
            toBufrPrecision(expected.get());
            const std::string file = dir.file("product.bfr");
            ASSERT_TRUE(writeBufr(written.get(), file));
            rdr::StdProductPtr back = readBufr(file, bSite ? "AZIM" : "COMP");
            ASSERT_NE(back, nullptr);
            toBufrPrecision(back.get());
            // Prodpar included: the VIL layer (0, 15) and the ETOP threshold 18 keep their
            // datasets apart from the others of their family.
            EXPECT_EQ(odimfix::diff(*back, *expected), "");
            float** a = fnGetStdProductDataByArg(back.get(), "VIL", 0, 15, "VIL");
            float** b = fnGetStdProductDataByArg(expected.get(), "VIL", 0, 15, "VIL");
            ASSERT_NE(a, nullptr);
            ASSERT_NE(b, nullptr);
            for (int y = 0; y < ydim; ++y) {
                for (int x = 0; x < xdim; ++x) {
                    EXPECT_EQ(a[y][x], b[y][x]);
                }
            }
            fnFreeMatrix2D(reinterpret_cast<void**>(a), ydim);
            fnFreeMatrix2D(reinterpret_cast<void**>(b), ydim);
        }
    }
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()).size(), 1u);  // no temporary left
}

TEST(BufrProduct, AGridOfManyBlocksComesBackWhole) {
    // Rain rates that do not repeat compress to more than the 65534 bytes of one block; the
    // cells of 125 m keep their size.
    rdrtest::TempDir dir;
    const int ydim = 210, xdim = 230;
    const auto make = [&] {
        rdr::StdProductPtr p(fnInitStdProduct(1, 1, 0, 0, 0, 0, 0));
        if (fnSetStdProductCompHdr(p.get(), "MAX", "202607150930", ydim, xdim, 0.125f, 0, 0) != 1) {
            return rdr::StdProductPtr();
        }
        std::vector<float> rain(static_cast<size_t>(ydim) * xdim);
        unsigned state = 7;
        for (float& v : rain) {
            state = state * 1103515245u + 12345u;
            v = static_cast<float>(state >> 8) / 65536.0f;
        }
        fnAddStdProductToData(p.get(), "PPI", 0, 0.5, 0, "RN", rain.data(), ydim, xdim);
        return p;
    };
    rdr::StdProductPtr written = make();
    rdr::StdProductPtr expected = make();
    ASSERT_NE(written, nullptr);
    forgetWhatBufrDoesNotCarry(expected.get());
    toBufrPrecision(expected.get());
    const std::string file = dir.file("rain.bfr");
    ASSERT_TRUE(writeBufr(written.get(), file));
    EXPECT_GT(std::filesystem::file_size(file), 3u * 65534u);
    rdr::StdProductPtr back = readBufr(file, "COMP");
    ASSERT_NE(back, nullptr);
    toBufrPrecision(back.get());
    EXPECT_EQ(odimfix::diff(*back, *expected), "");
}

// bufr_dump with our tables: per grid its product, both parameters x 1000 and quantity,
// then the grid decoded with zlib from the bytes ecCodes read, written as doubles.
const char* const kDumpScript = R"PY(
import json, os, subprocess, sys, zlib
path, tables, out = sys.argv[1:4]
env = dict(os.environ, ECCODES_EXTRA_DEFINITION_PATH=tables)
dump = subprocess.run(["bufr_dump", "-jf", path], env=env, check=True,
                      capture_output=True).stdout
keys = {}
def walk(node):
    if isinstance(node, dict):
        if "key" in node and "value" in node:
            keys.setdefault(node["key"], []).append(node["value"])
        for v in node.values():
            walk(v)
    elif isinstance(node, list):
        for v in node:
            walk(v)
walk(json.loads(dump))
def flat(name):
    values = []
    for v in keys.get(name, []):
        values.extend(v if isinstance(v, list) else [v])
    return values
names, quantities = flat("productName"), flat("quantityName")
prodpar = flat("productParameterTimes1000")
counts = flat("extendedDelayedDescriptorReplicationFactor")
data = flat("byteElementOfACompressedArray")
print(len(names), flat("typeOfStationIdentifier"), flat("stationIdentifier"))
pos = 0
ci = 0
for g in range(len(names)):
    blocks = counts[ci]
    ci += 1
    packed = bytearray()
    for b in range(blocks):
        n = counts[ci]
        ci += 1
        packed.extend(255 if v is None else v for v in data[pos:pos + n])
        pos += n
    raw = zlib.decompress(bytes(packed))
    open("%s/grid%d.bin" % (out, g), "wb").write(raw)
    print(names[g].strip(), prodpar[2 * g], prodpar[2 * g + 1], quantities[g].strip())
)PY";

TEST(BufrProduct, BufrDumpWithOurTablesDecodesTheSameValues) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("site.bfr");
    rdr::StdProductPtr p = odimfix::siteProduct(12, 17);
    rdr::StdProductPtr reference = odimfix::siteProduct(12, 17);
    ASSERT_TRUE(writeBufr(p.get(), file));
    int status = -1;
    const std::string out = rdrtest::programOutput(
        {"/usr/bin/python3", "-c", kDumpScript, file, bufrTableRoot(), dir.path().string()},
        &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream lines(out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "12 ['NOD'] ['KWK']");
    const struct {
        const char* line;
        const char* family;
        int idx;
        const char* field;
    } grids[] = {{"PPI 500 0 TH", "PPI", 0, "DZ"},        {"PPI 500 0 RATE", "PPI", 0, "RN"},
                 {"PPI 500 0 ZDR", "PPI", 0, "DR"},       {"PPI 1500 0 DBZH", "PPI", 1, "CZ"},
                 {"PPI 1500 0 WRADH", "PPI", 1, "SW"},    {"PCAPPI 1500 0 TH", "CAPPI", 0, "DZ"},
                 {"PCAPPI 1500 0 KDP", "CAPPI", 0, "KD"}, {"BASE 0 0 DBZH", "BASE", 0, "CZ"},
                 {"BASE 0 0 RHOHV", "BASE", 0, "RH"},     {"MAX 0 0 TH", "CMAX", 0, "DZ"},
                 {"VIL 0 15000 VIL", "VIL", 0, "VIL"},    {"ETOP 18000 0 HIGH", "ETOP", 0, "ETOP"}};
    for (size_t g = 0; g < std::size(grids); ++g) {
        ASSERT_TRUE(std::getline(lines, line)) << g;
        EXPECT_EQ(line, grids[g].line);
        const std::string raw = contents(dir.file("grid" + std::to_string(g) + ".bin"));
        ASSERT_EQ(raw.size(), 12u * 17u * sizeof(double));
        float** grid = fnGetStdProductDataByIdx(reference.get(), grids[g].family, grids[g].idx,
                                                grids[g].field);
        ASSERT_NE(grid, nullptr);
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 17; ++x) {
                double v = 0;
                std::memcpy(&v, raw.data() + (static_cast<size_t>(y) * 17 + x) * sizeof v,
                            sizeof v);
                const float want = grid[y][x];
                const double expected = want == -9998.0f   ? DBL_MAX
                                        : want == -9999.0f ? -DBL_MAX
                                                           : static_cast<double>(want);
                EXPECT_NEAR(v, expected, want <= -9998.0f ? 0.0 : 1e-4)
                    << line << " " << y << " " << x;
            }
        }
        fnFreeMatrix2D(reinterpret_cast<void**>(grid), 12);
    }
    EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(BufrProduct, SourceEntriesAreCountedAsSentAndNeverSpill) {
    rdrtest::TempDir dir;
    rdr::StdProductPtr p = odimfix::siteProduct(4, 5);
    BufrProductPtr bufr(fnStdProductSyncDownBufr(p.get()));
    ASSERT_NE(bufr, nullptr);
    char* source = bufr->m_what.m_szSource;
    const std::string file = dir.file("source.bfr");

    // Two WMO entries are left out and not counted; the NOD entry is read back whole.
    std::strcpy(source, "WMO:47102,NOD:KWK,WMO:47105,PLC:Gwanaksan");
    ASSERT_EQ(fnWriteBufrProduct(bufr.get(), file.c_str()), 1);
    BufrProductPtr back(fnLoadBufrProduct(file.c_str(), "AZIM"));
    ASSERT_NE(back, nullptr);
    EXPECT_STREQ(back->m_what.m_szSource, "NOD:KWK,PLC:Gwanaksan");

    // An identifier of 17 characters, or an entry without a type, refuses the product.
    for (const char* bad : {"NOD:KWK,PLC:Gwanaksan-summit-1", "KWK"}) {
        SCOPED_TRACE(bad);
        std::strcpy(source, bad);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnWriteBufrProduct(bufr.get(), file.c_str()), 0);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("fnWriteBufrProduct : "),
                  std::string::npos);
    }
    EXPECT_EQ(rdrtest::directoryNames(dir.path().string()).size(), 1u);
}

TEST(BufrProduct, AProductThatCannotBeWrittenWholeLeavesTheOldFile) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("kept.bfr");
    std::ofstream(file) << "old contents";
    rdr::StdProductPtr p = odimfix::siteProduct(60, 70);
    BufrProductPtr bufr(fnStdProductSyncDownBufr(p.get()));
    ASSERT_NE(bufr, nullptr);
    const auto refused = [&](const char* szWhy) {
        SCOPED_TRACE(szWhy);
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnWriteBufrProduct(bufr.get(), file.c_str()), 0);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("fnWriteBufrProduct : "), std::string::npos) << err;
        EXPECT_TRUE(contents(file) == "old contents");
        EXPECT_EQ(rdrtest::directoryNames(dir.path().string()).size(), 1u);
    };

    // A full disk: the file may grow to 4 kB only.
    rdrtest::withFileSizeLimit(4096, [&] { refused("full disk"); });

    // A grid held in rows other than its memory type's: nothing is written, not the names
    // without the grid.
    HDF_PRODUCT_DATA* vil = bufr->m_totalProduct.m_ppVil[0]->m_ppProductData[0];
    vil->m_iMemType = RDR_EN_MEM_CHAR;
    refused("VIL in the wrong rows");
    vil->m_iMemType = RDR_EN_MEM_SHORT;

    // A product parameter or a corner the descriptor cannot hold.
    bufr->m_totalProduct.m_ppEtop[0]->m_what.m_dProdpar[0] = 3.0e6;
    refused("threshold too large");
    bufr->m_totalProduct.m_ppEtop[0]->m_what.m_dProdpar[0] = 18;
    bufr->m_where.m_image_where.m_UL_lat = 400.0;
    refused("latitude beyond what 0-05-001 holds");
    bufr->m_where.m_image_where.m_UL_lat = 38.9;

    // A projection longer than the 100 characters of its element is not cut.
    std::memset(bufr->m_where.m_image_where.m_szProjdef, 'p', 120);
    bufr->m_where.m_image_where.m_szProjdef[120] = '\0';
    refused("projection");
    std::strcpy(bufr->m_where.m_image_where.m_szProjdef, "+proj=aeqd +lat_0=37.44 +lon_0=126.96");

    // A family with datasets but no dataset array, and a date that is not one.
    HDF_PRODUCT_DATASET** etop = bufr->m_totalProduct.m_ppEtop;
    bufr->m_totalProduct.m_ppEtop = nullptr;
    refused("no ETOP array");
    bufr->m_totalProduct.m_ppEtop = etop;
    std::strcpy(bufr->m_what.m_szDate, "20261345");
    refused("month 13");
    std::strcpy(bufr->m_what.m_szDate, "20260715");

    testing::internal::CaptureStderr();
    EXPECT_EQ(fnWriteBufrProduct(bufr.get(), dir.file("missing/out.bfr").c_str()), 0);
    EXPECT_EQ(fnWriteBufrProduct(nullptr, file.c_str()), 0);
    testing::internal::GetCapturedStderr();

    ASSERT_EQ(fnWriteBufrProduct(bufr.get(), file.c_str()), 1);
    EXPECT_EQ(contents(file).compare(0, 4, "BUFR"), 0);
}

TEST(BufrProduct, SyncDownNamesTheBufrColumnsAndDescribesPhysicalValues) {
    rdr::StdProductPtr p = odimfix::compProduct(5, 6, "AVE");
    BufrProductPtr bufr(fnStdProductSyncDownBufr(p.get()));
    ASSERT_NE(bufr, nullptr);
    EXPECT_EQ(fnGetStdProductDataByIdx(p.get(), "PPI", 0, "DZ"), nullptr);  // grids moved
    EXPECT_STREQ(bufr->m_szConventions, "ODIM_H5/V2_1");
    EXPECT_STREQ(bufr->m_what.m_szObject, "COMP");
    EXPECT_STREQ(bufr->m_how.m_image_how.m_szCamethod, "AVERAGE");
    const HDF_PRODUCT_DATASET* cmax = bufr->m_totalProduct.m_ppCmax[0];
    EXPECT_STREQ(cmax->m_what.m_szProduct, "MAX");
    const HDF_PRODUCT_DATA* dz = cmax->m_ppProductData[0];
    EXPECT_STREQ(dz->m_what.m_szQuantity, "TH");
    EXPECT_EQ(dz->m_what.m_dGain, 1.0);
    EXPECT_EQ(dz->m_what.m_dOffset, 0.0);
    EXPECT_EQ(dz->m_what.m_dNodata, DBL_MAX);
    EXPECT_EQ(dz->m_what.m_dUndetect, -DBL_MAX);

    int counts[7] = {};
    ASSERT_EQ(fnGetMaxCountBufrProduct(bufr.get(), &counts[0], &counts[1], &counts[2], &counts[3],
                                       &counts[4], &counts[5], &counts[6]),
              1);
    EXPECT_EQ(counts[0], 3);
    EXPECT_EQ(counts[1], 2);

    // A moment the field table does not know stops the conversion before anything moves.
    rdr::StdProductPtr q = odimfix::siteProduct(5, 6);
    std::vector<float> grid = odimfix::pattern(5, 6, 3, 0.0f, 10.0f);
    ASSERT_EQ(fnAddStdProductToData(q.get(), "ETOP", 0, 18, 0, "ZZ", grid.data(), 5, 6), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnStdProductSyncDownBufr(q.get()), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("fnStdProductSyncDownBufr"),
              std::string::npos);
    float** kept = fnGetStdProductDataByIdx(q.get(), "PPI", 0, "DZ");
    EXPECT_NE(kept, nullptr);
    fnFreeMatrix2D(reinterpret_cast<void**>(kept), 5);
}

// Every value the decoder hands over, as text.
class RecordingSink : public BufrValueSink {
  public:
    bool number(int iFxy, double dValue, bool bMissing) override {
        std::ostringstream out;
        out << bufrDescriptorName(iFxy) << "=";
        if (bMissing) {
            out << "missing";
        } else {
            out << dValue;
        }
        values.push_back(out.str());
        return true;
    }
    bool text(int iFxy, std::string_view text) override {
        values.push_back(bufrDescriptorName(iFxy) + "='" + std::string(text) + "'");
        return true;
    }
    std::vector<std::string> values;
};

TEST(BufrEncoder, WhatItEncodesTheDecoderReadsBackAndWhatDoesNotFitIsRefused) {
    BufrTables tables;
    std::string why;
    ASSERT_TRUE(tables.load(bufrTableRoot(), 16, 255, 0, 9, &why)) << why;
    BufrIdentification id;
    id.iCentre = 255;
    id.iMasterVersion = 16;
    id.iLocalVersion = 9;
    id.iYear = 2026;
    // A width change that leaves the replication factor alone, a scale change, a text
    // blank-filled, a missing byte.
    const std::vector<int> d = {bufrFxy(2, 1, 129), bufrFxy(1, 1, 0), bufrFxy(0, 31, 1),
                                bufrFxy(0, 30, 21), bufrFxy(2, 1, 0), bufrFxy(2, 2, 130),
                                bufrFxy(0, 5, 33),  bufrFxy(2, 2, 0), bufrFxy(0, 30, 199),
                                bufrFxy(0, 30, 198)};
    std::vector<double> v = {2, 8190, 5, 125.5, 'P', 'P', 'I', ' ', ' ', ' ', kBufrMissingValue};
    std::vector<unsigned char> message;
    ASSERT_TRUE(encodeBufrMessage(id, d, v, tables, &message, &why)) << why;
    BufrMessage msg;
    ASSERT_TRUE(parseBufrMessage(message.data(), message.size(), &msg, &why)) << why;
    EXPECT_EQ(msg.iEdition, 4);
    EXPECT_EQ(msg.iCentre, 255);
    EXPECT_EQ(msg.iLocal, 9);
    EXPECT_EQ(msg.iYear, 2026);
    EXPECT_EQ(msg.descriptors, d);
    RecordingSink sink;
    ASSERT_TRUE(decodeBufrData(msg, tables, sink, &why)) << why;
    const std::vector<std::string> expected = {"0-31-001=2",        "0-30-021=8190",
                                               "0-30-021=5",        "0-05-033=125.5",
                                               "0-30-199='PPI   '", "0-30-198=missing"};
    EXPECT_EQ(sink.values, expected);

    const struct {
        std::vector<int> d;
        std::vector<double> v;
        const char* why;
    } refusals[] = {
        {{bufrFxy(2, 1, 129), bufrFxy(0, 30, 21)}, {8191}, "0-30-021 cannot hold the value 8191"},
        {{bufrFxy(0, 30, 21)}, {-1}, "cannot hold the value -1"},
        {{bufrFxy(0, 30, 21), bufrFxy(0, 30, 22)}, {1}, "no value left for 0-30-022"},
        {{bufrFxy(0, 30, 21)}, {1, 2}, "1 values left over"},
        {{bufrFxy(0, 63, 250)}, {1}, "0-63-250 is not in the tables"},
        {{bufrFxy(0, 30, 199)}, {'A', 'B', 300, 0, 0, 0}, "character 3 is not a byte"},
        {{bufrFxy(2, 22, 0)}, {}, "operator 2-22-000 is not supported"},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.why);
        why.clear();
        EXPECT_FALSE(encodeBufrMessage(id, r.d, r.v, tables, &message, &why));
        EXPECT_NE(why.find(r.why), std::string::npos) << why;
    }
}

}  // namespace
