// The BUFR volume loader: the exchange's sample volumes against their ODIM_H5 twin and an
// independent decode (Python with zlib over the raw sections, tables from the shared CSV
// lists), hostile copies of the samples, and the layout's rules on hand-built messages.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bufr_radar.h"
#include "core_utilities.h"
#include "internal/bufr_tables.h"
#include "internal/bufr_volume_input.h"
#include "owned_handles.h"
#include "standard_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using BufrRadarPtr = std::unique_ptr<BUFR_RADAR, rdr::ReleaseWith<fnFreeBufrRadar>>;

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)),
                                      std::istreambuf_iterator<char>());
}

// ---- the samples -------------------------------------------------------------------

// Header for header and bin for bin, except the two things the twin's converter got wrong:
// its top-level date ("39090610", and the time beside it), so the volume time is the BUFR
// message's, and the blank-padded source (no NOD entry, so no site name on either side).
TEST(BufrVolumeSamples, AustrianVolumeEqualsItsOdimTwin) {
    RDR_REQUIRE_SHARED_DATA();
    const char* szFormat = nullptr;
    rdr::StdRadarPtr bufr(fnLoadStdRadarFile(
        rdrtest::sharedData("bufr/example_odim_200906101315.bfr").c_str(), &szFormat));
    ASSERT_TRUE(bufr);
    EXPECT_STREQ(szFormat, "BUFR");
    rdr::StdRadarPtr odim(fnLoadStdRadarFile(
        rdrtest::sharedData("odim_hdf5/example_odim_200906101315.h5").c_str(), &szFormat));
    ASSERT_TRUE(odim);
    ASSERT_EQ(fnValidStdRadar(bufr.get()), 1);

    EXPECT_EQ(bufr->m_hdr.m_tConvertTime, fnMakeTime(1, 2009, 6, 10, 13, 15, 0));
    STD_GLOBAL_HDR want = odim->m_hdr;
    want.m_tConvertTime = bufr->m_hdr.m_tConvertTime;
    EXPECT_STREQ(bufr->m_hdr.m_szSiteName, want.m_szSiteName);
    EXPECT_EQ(std::memcmp(&bufr->m_hdr, &want, sizeof want), 0);

    ASSERT_EQ(bufr->m_iMaxSweep, odim->m_iMaxSweep);
    ASSERT_EQ(bufr->m_iMaxSweep, 4);
    long bins = 0;
    for (int s = 0; s < odim->m_iMaxSweep; ++s) {
        const STD_SWEEP* a = bufr->m_ppSweep[s];
        const STD_SWEEP* b = odim->m_ppSweep[s];
        ASSERT_EQ(std::memcmp(&a->m_hdr, &b->m_hdr, sizeof a->m_hdr), 0) << "sweep " << s;
        ASSERT_EQ(a->m_iMaxRay, b->m_iMaxRay);
        for (int r = 0; r < b->m_iMaxRay; ++r) {
            const STD_RAY* ra = a->m_ppRay[r];
            const STD_RAY* rb = b->m_ppRay[r];
            ASSERT_EQ(std::memcmp(&ra->m_hdr, &rb->m_hdr, sizeof ra->m_hdr), 0)
                << "sweep " << s << " ray " << r;
            ASSERT_EQ(ra->m_iMaxField, rb->m_iMaxField);
            for (int f = 0; f < rb->m_iMaxField; ++f) {
                const STD_FIELD* fa = ra->m_ppField[f];
                const STD_FIELD* fb = rb->m_ppField[f];
                ASSERT_EQ(std::memcmp(&fa->m_hdr, &fb->m_hdr, sizeof fa->m_hdr), 0);
                ASSERT_EQ(fa->m_iMaxBin, fb->m_iMaxBin);
                ASSERT_EQ(std::memcmp(fa->m_pData, fb->m_pData,
                                      sizeof(short) * static_cast<size_t>(fb->m_iMaxBin)),
                          0)
                    << "sweep " << s << " ray " << r;
                bins += fb->m_iMaxBin;
            }
        }
    }
    EXPECT_EQ(bins, 4L * 360 * 224);
}

// Walks the message with the widths of the shared CSV tables and prints what a volume
// holds: source, station, then per data item its dataset's time and where, the quantity
// code, the inflated value count, their sum and the first values.
const char* const kDecodeScript = R"PY(
import sys, zlib, struct
path, tables = sys.argv[1], sys.argv[2]
b = open(path, "rb").read()
b = b[b.index(b"BUFR"):]
ed = b[7]
o = 8
l1 = int.from_bytes(b[o:o+3], "big"); s1 = b[o:o+l1]
master, local, sec2 = (s1[13], s1[14], s1[9] & 0x80) if ed == 4 else (s1[10], s1[11], s1[7] & 0x80)
o += l1
if sec2:
    o += int.from_bytes(b[o:o+3], "big")
l3 = int.from_bytes(b[o:o+3], "big"); s3 = b[o:o+l3]
desc = []
for i in range(7, l3 - 1, 2):
    v = int.from_bytes(s3[i:i+2], "big")
    desc.append((v >> 14, (v >> 8) & 63, v & 255))
o += l3
l4 = int.from_bytes(b[o:o+3], "big")
data = b[o+4:o+l4] + b"\0" * 8
elements, sequences = {}, {}
def fxy(f, x, y): return (int(f), int(x), int(y))
for name in ("bufrtabb_%d.csv" % master, "localtabb_247_%d.csv" % local):
    for line in open(tables + "/" + name, encoding="latin-1"):
        p = line.rstrip("\n").split(";")
        if len(p) >= 8 and p[0].strip().isdigit():
            elements[fxy(p[0], p[1], p[2])] = (int(p[5]), int(p[6]), int(p[7]), p[4].strip() == "CCITT IA5")
for name in ("bufrtabd_%d.csv" % master, "localtabd_247_%d.csv" % local):
    cur = None
    for line in open(tables + "/" + name, encoding="latin-1"):
        p = [s.strip() for s in line.rstrip("\n").split(";")]
        if len(p) >= 6 and p[3].isdigit():
            if p[0]:
                cur = fxy(p[0], p[1], p[2]); sequences[cur] = []
            sequences[cur].append(fxy(p[3], p[4], p[5]))
pos = 0
def bits(n):
    global pos
    start, shift = pos >> 3, pos & 7
    chunk = int.from_bytes(data[start:start + 6], "big")
    pos += n
    return (chunk >> (48 - shift - n)) & ((1 << n) - 1)
values = []
def run(lst):
    i = 0
    while i < len(lst):
        f, x, y = lst[i]
        if f == 0:
            s, r, w, text = elements[(f, x, y)]
            if text:
                values.append(((f, x, y), bytes(bits(8) for _ in range(w // 8)).decode("latin-1")))
            else:
                raw = bits(w)
                values.append(((f, x, y), None if raw == (1 << w) - 1 and w > 1 else (raw + r) / 10.0 ** s))
            i += 1
        elif f == 1:
            body, n = lst[i + 1:i + 1 + x], y
            if y == 0:
                n = bits(elements[lst[i + 1]][2]); values.append((lst[i + 1], n)); body = lst[i + 2:i + 2 + x]
            for _ in range(n):
                run(body)
            i += 1 + x + (1 if y == 0 else 0)
        else:
            run(sequences[(f, x, y)]); i += 1
run(desc)
it = iter(values)
def nxt(): return next(it)[1]
while True:
    d, v = next(it)
    if d == (0, 1, 192):
        print("source %s:%s" % (v.strip(), nxt().strip()))
    if d == (0, 1, 1):
        blk, sta = v, nxt(); nxt()
        ymdhm = [int(nxt()) for _ in range(5)]
        print("station %02d%03d %04d%02d%02d %02d%02d00 %r %r %r" % (blk, sta, *ymdhm, nxt(), nxt(), nxt()))
        nds = nxt()
        break
for d in range(nds):
    t = [int(nxt()) for _ in range(12)]
    nxt()
    where = [nxt() for _ in range(6)]
    for k in range(nxt()):
        q, method, runs = nxt(), nxt(), nxt()
        z = bytearray()
        for _ in range(runs):
            for _ in range(nxt()):
                v = nxt(); z.append(255 if v is None else int(v))
        vals = struct.unpack_from("<%dd" % (len(z) and len(zlib.decompress(bytes(z))) // 8), zlib.decompress(bytes(z)))
        print("data %d %04d%02d%02d %02d%02d%02d %r %d %r %r %d %d %d %d %r %s" % (
            d, *t[:6], where[0], where[1], where[2], where[3], where[4], where[5], q, len(vals),
            sum(v for v in vals if abs(v) < 1e300), " ".join("%r" % v for v in vals[:8])))
)PY";

struct RefData {
    int dataset = 0;
    std::string date, time;
    double elangle = 0, rscale = 0, rstart = 0;
    long bins = 0, rays = 0, a1gate = 0, quantityCode = 0, count = 0;
    double sum = 0;
    std::vector<double> first;
};

struct Reference {
    std::string source, wmo, date, time;
    double lat = 0, lon = 0, height = 0;
    std::vector<RefData> data;
};

bool decode(const std::string& file, const rdrtest::TempDir& dir, Reference* pRef) {
    const std::string script = dir.file("decode.py");
    std::ofstream(script) << kDecodeScript;
    const std::string out = dir.file("decoded.txt");
    const std::string command = "/usr/bin/python3 '" + script + "' '" + file + "' '" +
                                rdrtest::sharedData("bufr/tables") + "' > '" + out + "'";
    if (std::system(command.c_str()) != 0) {
        return false;
    }
    std::ifstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ss(line);
        std::string key;
        ss >> key;
        if (key == "source") {
            ss >> pRef->source;
        } else if (key == "station") {
            ss >> pRef->wmo >> pRef->date >> pRef->time >> pRef->lat >> pRef->lon >> pRef->height;
        } else if (key == "data") {
            RefData d;
            ss >> d.dataset >> d.date >> d.time >> d.elangle >> d.bins >> d.rscale >> d.rstart >>
                d.rays >> d.a1gate >> d.quantityCode >> d.count >> d.sum;
            double v = 0;
            while (ss >> v) {
                d.first.push_back(v);
            }
            pRef->data.push_back(d);
        }
    }
    return !pRef->data.empty();
}

class BufrSampleTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BufrSampleTest, AgreesWithIndependentDecode) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string path = rdrtest::sharedData(std::string("bufr/") + GetParam());
    rdrtest::TempDir dir;
    Reference ref;
    ASSERT_TRUE(decode(path, dir, &ref));
    BufrRadarPtr bufr(fnLoadBufrRadar(path.c_str()));
    ASSERT_TRUE(bufr);

    EXPECT_EQ(std::string(bufr->m_what.m_szSource), ref.source + ",WMO:" + ref.wmo);
    EXPECT_EQ(bufr->m_what.m_szDate, ref.date);
    EXPECT_EQ(bufr->m_what.m_szTime, ref.time);
    EXPECT_STREQ(bufr->m_what.m_szObject, "PVOL");
    EXPECT_DOUBLE_EQ(bufr->m_where.m_polar_where.m_dLat, ref.lat);
    EXPECT_DOUBLE_EQ(bufr->m_where.m_polar_where.m_dLon, ref.lon);
    EXPECT_DOUBLE_EQ(bufr->m_where.m_polar_where.m_dHeightM, ref.height);

    size_t item = 0;
    for (int d = 0; d < bufr->m_iMaxDataset; ++d) {
        const BUFR_DATASET* pDataset = bufr->m_ppDataset[d];
        for (int m = 0; m < pDataset->m_iMaxData; ++m, ++item) {
            ASSERT_LT(item, ref.data.size());
            const RefData& want = ref.data[item];
            ASSERT_EQ(want.dataset, d);
            const BUFR_DATA* pData = pDataset->m_ppData[m];
            const BUFR_POLAR_WHERE& p = pData->m_where.m_polar_where;
            EXPECT_EQ(pDataset->m_what.m_szStartDate, want.date);
            EXPECT_EQ(pDataset->m_what.m_szStartTime, want.time);
            EXPECT_DOUBLE_EQ(p.m_dElangle, want.elangle);
            EXPECT_EQ(p.m_nBins, want.bins);
            EXPECT_DOUBLE_EQ(p.m_dRScale, want.rscale);
            EXPECT_DOUBLE_EQ(p.m_dRstart, want.rstart / 1000.0);
            EXPECT_EQ(p.m_nRays, want.rays);
            EXPECT_EQ(p.m_lA1gate, want.a1gate);
            ASSERT_EQ(want.quantityCode, 0);  // both samples carry reflectivity only
            EXPECT_STREQ(pData->m_what.m_szQuantity, "DBZH");
            ASSERT_EQ(p.m_nRays * p.m_nBins, want.count);
            double sum = 0;
            for (long r = 0; r < p.m_nRays; ++r) {
                for (long b = 0; b < p.m_nBins; ++b) {
                    const float v = pData->m_ppData[r][b];
                    if (v != HDF_NODATA_VALUE && v != HDF_UNDETECT_VALUE) {
                        sum += v;
                    }
                }
            }
            EXPECT_NEAR(sum, want.sum, 1e-6 * std::fabs(want.sum) + 1e-3);
            for (size_t b = 0; b < want.first.size(); ++b) {
                EXPECT_EQ(pData->m_ppData[0][b], static_cast<float>(want.first[b])) << b;
            }
        }
    }
    EXPECT_EQ(item, ref.data.size());
    rdr::StdRadarPtr std(fnBufrSyncUpStd(bufr.get()));
    ASSERT_TRUE(std);
    EXPECT_EQ(fnValidStdRadar(std.get()), 1);
}

INSTANTIATE_TEST_SUITE_P(Samples, BufrSampleTest,
                         ::testing::Values("example_odim_200906101315.bfr", "odim-polar-ref.bfr"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param[0] == 'e' ? "Austria" : "MeteoFrance");
                         });

TEST(BufrVolumeSamples, MeteoFranceVolumeHasItsThreeSweeps) {
    RDR_REQUIRE_SHARED_DATA();
    rdr::StdRadarPtr std(
        fnLoadStdRadarFile(rdrtest::sharedData("bufr/odim-polar-ref.bfr").c_str()));
    ASSERT_TRUE(std);
    ASSERT_EQ(std->m_iMaxSweep, 3);
    const float angles[3] = {0.4f, 1.1f, 0.4f};
    for (int s = 0; s < 3; ++s) {
        const STD_SWEEP* pSweep = std->m_ppSweep[s];
        ASSERT_EQ(pSweep->m_iMaxRay, 720);
        const STD_RAY_HDR& h = pSweep->m_ppRay[0]->m_hdr;
        EXPECT_FLOAT_EQ(h.m_fFixedAngle, angles[s]);
        EXPECT_FLOAT_EQ(h.m_fAzimuth, 0.25f);  // the middle of the first half-degree sector
        EXPECT_EQ(h.m_iBinSpacing, 900);
        EXPECT_EQ(h.m_tTime, fnMakeTime(1, 2009, 6, 15, 3, 16, 42));
        EXPECT_STREQ(pSweep->m_ppRay[0]->m_ppField[0]->m_hdr.m_szFieldName, "CZ");
        EXPECT_EQ(pSweep->m_ppRay[0]->m_ppField[0]->m_iMaxBin, 256);
    }
}

TEST(BufrVolumeSamples, GzipCompressedCopyLoadsTheSame) {
    RDR_REQUIRE_SHARED_DATA();
    const std::vector<unsigned char> bytes =
        readBytes(rdrtest::sharedData("bufr/example_odim_200906101315.bfr"));
    rdrtest::TempDir dir;
    const std::string path = dir.file("volume.bfr.gz");
    gzFile gz = gzopen(path.c_str(), "wb");
    ASSERT_NE(gz, nullptr);
    ASSERT_EQ(gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size())),
              static_cast<int>(bytes.size()));
    gzclose(gz);
    const char* szFormat = nullptr;
    rdr::StdRadarPtr std(fnLoadStdRadarFile(path.c_str(), &szFormat));
    ASSERT_TRUE(std);
    EXPECT_STREQ(szFormat, "BUFR");
    EXPECT_EQ(std->m_iMaxSweep, 4);
}

// Cut short or with bits flipped, a sample is refused with a reason or loads into a
// volume that converts whole; nothing crashes (the sanitizer run checks the rest).
TEST(BufrVolumeSamples, DamagedCopiesAreRefusedWithAReasonOrLoadWhole) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string root = bufrTableRoot();
    for (const char* name : {"example_odim_200906101315.bfr", "odim-polar-ref.bfr"}) {
        const std::vector<unsigned char> bytes =
            readBytes(rdrtest::sharedData(std::string("bufr/") + name));
        ASSERT_GT(bytes.size(), 100000u);
        unsigned seed = 4242;
        int refused = 0;
        for (int k = 0; k < 60; ++k) {
            std::vector<unsigned char> copy = bytes;
            if (k < 12) {
                copy.resize(k == 0 ? 7 : copy.size() * static_cast<size_t>(k) / 12);
            } else {
                for (int flips = 0; flips < 1 + k % 3; ++flips) {
                    seed = seed * 1103515245u + 12345u;
                    // The structure sits in the first few hundred bytes; aim most flips there.
                    const size_t span = k % 2 == 0 ? 400 : copy.size();
                    copy[(seed >> 8) % span] ^= static_cast<unsigned char>(1u << (seed % 8));
                }
            }
            std::string why;
            BufrRadarPtr bufr(loadBufrRadarFromBytes(copy.data(), copy.size(), root, &why));
            if (!bufr) {
                ++refused;
                EXPECT_FALSE(why.empty()) << name << " copy " << k;
                continue;
            }
            testing::internal::CaptureStderr();
            rdr::StdRadarPtr std(fnBufrSyncUpStd(bufr.get()));
            testing::internal::GetCapturedStderr();
            EXPECT_TRUE(!std || fnValidStdRadar(std.get()) == 1) << name << " copy " << k;
        }
        EXPECT_GE(refused, 12) << name;  // every truncated copy at least
    }
}

// ---- hand-built messages -----------------------------------------------------------

// Values of a 3-21-203 or 3-21-207 volume, fed to the reader as the decoder would.
class VolumeValues {
  public:
    BufrValueList list;

    void source(const std::vector<std::pair<std::string, std::string>>& entries) {
        list.enter(321204);
        list.number(31001, static_cast<double>(entries.size()), false);
        for (const auto& [type, value] : entries) {
            list.text(1192, padded(type, 3));
            list.text(1193, padded(value, 16));
        }
        list.leave(321204);
    }

    void station(double block, double number) {
        list.enter(301031);
        list.number(1001, block, std::isnan(block));
        list.number(1002, number, std::isnan(number));
        for (double v : {0.0, 2024.0, 5.0, 1.0, 12.0, 30.0, 45.5, 10.25, 150.0}) {
            list.number(4001, v, false);
        }
        list.leave(301031);
    }

    void how(const std::vector<std::pair<std::string, std::string>>& texts,
             const std::vector<std::pair<std::string, double>>& numbers) {
        list.number(31001, static_cast<double>(texts.size()), false);
        for (const auto& [name, value] : texts) {
            list.text(30199, padded(name, 16));
            list.text(30199, padded(value, 16));
        }
        list.number(31001, static_cast<double>(numbers.size()), false);
        for (const auto& [name, value] : numbers) {
            list.text(30199, padded(name, 16));
            unsigned char b[8];
            std::memcpy(b, &value, 8);  // little-endian host
            list.bytes(30198, b, 8);
        }
    }

    // One dataset's times and where (start 23:59:30).
    void dataset(bool bWithHow, double elangle, long bins, double rscale, double rstartM, long rays,
                 long a1gate, long nData) {
        if (bWithHow) {
            how({}, {{"NI", 12.5}});
        }
        for (double v : {2024.0, 5.0, 1.0, 23.0, 59.0, 30.0, 2024.0, 5.0, 1.0, 24.0, 0.0, 5.0}) {
            list.number(4001, v, false);
        }
        if (bWithHow) {
            list.text(30199, "PPI   ");
        } else {
            list.number(30196, 90, false);
        }
        for (double v :
             {elangle, static_cast<double>(bins), rscale, rstartM, static_cast<double>(rays),
              static_cast<double>(a1gate), static_cast<double>(nData)}) {
            list.number(2135, v, false);
        }
    }

    // A compressed array of the doubles, cut into runs of at most runLength bytes.
    void array(const std::vector<double>& values, size_t runLength = 65534, double method = 0,
               long extraRuns = 0) {
        std::vector<unsigned char> raw(values.size() * 8);
        std::memcpy(raw.data(), values.data(), raw.size());
        uLongf n = compressBound(static_cast<uLong>(raw.size()));
        std::vector<unsigned char> z(n);
        ASSERT_EQ(compress(z.data(), &n, raw.data(), static_cast<uLong>(raw.size())), Z_OK);
        list.enter(321206);
        list.number(30197, method, false);
        const long runs = static_cast<long>((n + runLength - 1) / runLength);
        list.number(31002, static_cast<double>(runs + extraRuns), false);
        for (size_t at = 0; at < n; at += runLength) {
            const size_t k = std::min(runLength, static_cast<size_t>(n) - at);
            list.number(31002, static_cast<double>(k), false);
            list.bytes(30198, z.data() + at, k);
        }
        list.leave(321206);
    }

    static std::string padded(const std::string& s, size_t n) {
        std::string p = s;
        p.resize(n, ' ');
        return p;
    }
};

BufrRadarPtr readValues(const BufrValueList& list, std::string* pWhy) {
    BufrMessage msg;
    msg.iYear = 2024;
    msg.iMonth = msg.iDay = 1;
    BufrRadarPtr bufr(static_cast<BUFR_RADAR*>(std::calloc(1, sizeof(BUFR_RADAR))));
    if (!bufrVolumeFromValues(list, msg, bufr.get(), pWhy)) {
        return nullptr;
    }
    return bufr;
}

std::vector<double> ramp(size_t n) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) {
        v[i] = static_cast<double>(i % 97) * 0.5 - 10.0;
    }
    return v;
}

TEST(BufrVolumeLayout, VolumeWithHowBlocksFillsTheOdimRecords) {
    VolumeValues v;
    v.source({{"WMO", "12345"}, {"NOD", "abcd"}});
    v.station(12, 345);
    v.list.enter(321207);
    v.how({{"task", "VOL_A"}, {"simulated", "False"}, {"unknown", "x"}},
          {{"beamwH", 0.95}, {"wavelength", 5.3}, {"pulsewidth", 2.0}, {"notanattr", 1.0}});
    v.list.number(31001, 1, false);
    v.dataset(true, 0.5, 4, 250.0, 250.0, 3, 1, 1);
    v.how({}, {});
    v.list.text(30199, "DBZH  ");
    std::vector<double> values = ramp(12);
    values[1] = -DBL_MAX;  // undetect
    values[2] = DBL_MAX;   // nodata
    v.array(values, 7);    // several runs
    v.list.leave(321207);

    std::string why;
    BufrRadarPtr bufr = readValues(v.list, &why);
    ASSERT_TRUE(bufr) << why;
    EXPECT_STREQ(bufr->m_what.m_szSource, "WMO:12345,NOD:abcd,WMO:12345");
    EXPECT_STREQ(bufr->m_what.m_szDate, "20240501");
    EXPECT_STREQ(bufr->m_what.m_szTime, "123000");
    EXPECT_STREQ(bufr->m_how.m_general_how.m_szTask, "VOL_A");
    EXPECT_DOUBLE_EQ(bufr->m_how.m_radar_how.m_dBeamwH, 0.95);
    const BUFR_DATASET* pDataset = bufr->m_ppDataset[0];
    EXPECT_DOUBLE_EQ(pDataset->m_how.m_radar_how.m_dNi, 12.5);
    EXPECT_DOUBLE_EQ(pDataset->m_how.m_radar_how.m_dBeamwH, 0.95);  // from the volume's how
    EXPECT_STREQ(pDataset->m_what.m_szProduct, "PPI");
    EXPECT_STREQ(pDataset->m_what.m_szStartTime, "235930");
    // 24:00:05 on the first is five seconds into the second.
    EXPECT_STREQ(pDataset->m_what.m_szEndDate, "20240502");
    EXPECT_STREQ(pDataset->m_what.m_szEndTime, "000005");
    const BUFR_POLAR_WHERE& p = pDataset->m_where.m_polar_where;
    EXPECT_DOUBLE_EQ(p.m_dRstart, 0.25);
    EXPECT_DOUBLE_EQ(p.m_dLat, 45.5);
    const BUFR_DATA* pData = pDataset->m_ppData[0];
    EXPECT_STREQ(pData->m_what.m_szQuantity, "DBZH");
    EXPECT_EQ(pData->m_ppData[0][0], -10.0f);
    EXPECT_EQ(pData->m_ppData[0][1], HDF_UNDETECT_VALUE);
    EXPECT_EQ(pData->m_ppData[0][2], HDF_NODATA_VALUE);
    EXPECT_EQ(pData->m_ppData[2][3], static_cast<float>(values[11]));

    rdr::StdRadarPtr std(fnBufrSyncUpStd(bufr.get()));
    ASSERT_TRUE(std);
    EXPECT_STREQ(std->m_hdr.m_szSiteName, "abcd");
    EXPECT_STREQ(std->m_hdr.m_szConvertName, "VOL_A");
    EXPECT_EQ(std->m_hdr.m_iAnteHeight, 150);
    EXPECT_FLOAT_EQ(std->m_ppSweep[0]->m_hdr.m_fNyquistVelocity, 12.5f);
    // The first ray acquired is row 1 (a1gate); start 0 km 250 m, spacing 250 m.
    const STD_RAY* pRay = std->m_ppSweep[0]->m_ppRay[0];
    EXPECT_FLOAT_EQ(pRay->m_hdr.m_fAzimuth, 180.0f);
    EXPECT_EQ(pRay->m_hdr.m_iStartRangeKm, 0);
    EXPECT_EQ(pRay->m_hdr.m_iStartRangeMeter, 250);
    EXPECT_EQ(pRay->m_hdr.m_iBinSpacing, 250);
    const STD_RAY* pRow0 = std->m_ppSweep[0]->m_ppRay[2];
    EXPECT_EQ(pRow0->m_ppField[0]->m_pData[0], -1000);
    EXPECT_EQ(pRow0->m_ppField[0]->m_pData[1], STD_NO_DATA_CODE);
    EXPECT_EQ(pRow0->m_ppField[0]->m_pData[2], STD_NO_DATA_CODE);
}

// A V2_0 volume without 3-01-031 takes its time from section 1 and has no WMO entry; a
// missing WMO block leaves the source without one too.
TEST(BufrVolumeLayout, VolumeWithoutStationTakesTheMessageTime) {
    for (bool bStation : {false, true}) {
        VolumeValues v;
        v.source({{"NOD", "xyz"}});
        if (bStation) {
            v.station(NAN, 5);
        }
        v.list.enter(321203);
        v.list.number(31001, 1, false);
        v.dataset(false, 1.5, 2, 1000.0, 0.0, 2, 0, 2);
        v.list.number(30196, 40, false);
        v.array({1, 2, 3, 4});
        v.list.number(30196, 92, false);
        v.array({0.5, 0.5, 0.5, 0.5});
        v.list.leave(321203);
        std::string why;
        BufrRadarPtr bufr = readValues(v.list, &why);
        ASSERT_TRUE(bufr) << why;
        EXPECT_STREQ(bufr->m_what.m_szSource, "NOD:xyz");
        EXPECT_STREQ(bufr->m_what.m_szDate, bStation ? "20240501" : "20240101");
        EXPECT_STREQ(bufr->m_ppDataset[0]->m_what.m_szProduct, "SCAN");
        EXPECT_STREQ(bufr->m_ppDataset[0]->m_ppData[0]->m_what.m_szQuantity, "VRAD");
        EXPECT_STREQ(bufr->m_ppDataset[0]->m_ppData[1]->m_what.m_szQuantity, "WRAD");
    }
}

// Each fault is refused with a reason that names it; none reads past what it was given.
TEST(BufrVolumeLayout, BrokenArraysAndCountsAreRefused) {
    struct Case {
        const char* name;
        const char* reason;
        void (*build)(VolumeValues&);
    };
    const Case cases[] = {
        {"inflates short", "inflates to 72 bytes where 2 rays x 5 bins",
         [](VolumeValues& v) { v.array(ramp(9)); }},
        {"inflates long", "inflates to more than 2 rays x 5 bins",
         [](VolumeValues& v) { v.array(ramp(11)); }},
        {"run count beyond the runs", "the values end before",
         [](VolumeValues& v) { v.array(ramp(10), 65534, 0, 3); }},
        {"other compression", "compression method 1",
         [](VolumeValues& v) { v.array(ramp(10), 65534, 1); }},
        {"corrupt stream", "corrupt",
         [](VolumeValues& v) {
             v.list.enter(321206);
             v.list.number(30197, 0, false);
             v.list.number(31002, 1, false);
             v.list.number(31002, 4, false);
             const unsigned char junk[4] = {0x78, 0x9c, 0xff, 0xff};
             v.list.bytes(30198, junk, 4);
             v.list.leave(321206);
         }},
        {"wrong checksum", "corrupt",
         [](VolumeValues& v) {
             const std::vector<double> values = ramp(10);
             uLongf n = compressBound(80);
             std::vector<unsigned char> z(n);
             compress(z.data(), &n, reinterpret_cast<const unsigned char*>(values.data()), 80);
             z[n - 1] ^= 1;  // the stream's Adler-32
             v.list.enter(321206);
             v.list.number(30197, 0, false);
             v.list.number(31002, 1, false);
             v.list.number(31002, static_cast<double>(n), false);
             v.list.bytes(30198, z.data(), n);
             v.list.leave(321206);
         }},
        {"text for a count", "is not a number", [](VolumeValues& v) { v.list.text(30199, "x"); }},
    };
    for (const Case& c : cases) {
        VolumeValues v;
        v.list.enter(321203);
        v.list.number(31001, 1, false);
        v.dataset(false, 0.5, 5, 500.0, 0.0, 2, 0, 1);
        v.list.number(30196, 0, false);
        c.build(v);
        v.list.leave(321203);
        std::string why;
        EXPECT_FALSE(readValues(v.list, &why)) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
    }

    // Shapes and counts out of range.
    const std::pair<std::vector<double>, const char*> bad[] = {
        {{0.5, 0, 500, 0, 2, 0, 1}, "the bin count"},
        {{0.5, 5, 500, 0, 2, 2, 1}, "the first ray's index"},
        {{95.0, 5, 500, 0, 2, 0, 1}, "an elevation of 95"},
        {{0.5, 5, 0, 0, 2, 0, 1}, "a bin spacing of 0"},
        {{0.5, 5, 500, 0, 2, 0, 101}, "the number of data items"},
        {{0.5, 5, 500, 0, 2.5, 0, 1}, "the ray count"},
        // Refused before anything is allocated for it.
        {{0.5, 1000, 500, 0, 100000, 0, 1}, "more than a sweep can hold"},
    };
    for (const auto& [where, reason] : bad) {
        VolumeValues v;
        v.list.enter(321203);
        v.list.number(31001, 1, false);
        for (int i = 0; i < 13; ++i) {
            v.list.number(4001, i < 6 ? 1 : 2, false);
        }
        for (double x : where) {
            v.list.number(2135, x, false);
        }
        v.list.leave(321203);
        std::string why;
        EXPECT_FALSE(readValues(v.list, &why)) << reason;
        EXPECT_NE(why.find(reason), std::string::npos) << why;
    }

    // A source longer than its field is refused rather than cut.
    VolumeValues v;
    std::vector<std::pair<std::string, std::string>> entries(14, {"NOD", "abcdefghijklmnop"});
    v.source(entries);
    v.list.enter(321203);
    v.list.number(31001, 1, false);
    v.dataset(false, 0.5, 1, 500.0, 0.0, 1, 0, 1);
    v.list.number(30196, 0, false);
    v.array({1.0});
    v.list.leave(321203);
    std::string why;
    EXPECT_FALSE(readValues(v.list, &why));
    EXPECT_NE(why.find("source"), std::string::npos) << why;
}

TEST(BufrVolumeLayout, DatesAreNormalisedWithoutTheTimeZone) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    char date[9], time[7];
    ASSERT_TRUE(bufrNormalisedDateTime(2023, 12, 31, 23, 59, 60, date, time));
    EXPECT_STREQ(date, "20240101");
    EXPECT_STREQ(time, "000000");
    ASSERT_TRUE(bufrNormalisedDateTime(2024, 2, 30, 0, 0, 0, date, time));
    EXPECT_STREQ(date, "20240301");
    ASSERT_TRUE(bufrNormalisedDateTime(2024, 13, 0, 0, 0, 0, date, time));  // month 13, day 0
    EXPECT_STREQ(date, "20241231");
    EXPECT_FALSE(bufrNormalisedDateTime(9999, 12, 31, 24, 0, 0, date, time));
    EXPECT_STREQ(std::getenv("TZ"), "Asia/Tokyo");
    setenv("TZ", "UTC", 1);
    tzset();
}

}  // namespace
