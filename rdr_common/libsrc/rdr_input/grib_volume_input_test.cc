// GRIB volume reader: foreign, cut, damaged and inconsistent files are refused with a
// reason and never harm the caller; decoded values are rounded, not cut.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "grib_radar.h"
#include "grib_volume_output.h"
#include "internal/eccodes_library.h"
#include "internal/grib_volume_input.h"
#include "owned_handles.h"
#include "synthetic_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using GribRadarPtr = std::unique_ptr<GRIB_RADAR, rdr::ReleaseWith<fnFreeGribRadar>>;
using Bytes = std::vector<unsigned char>;

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A small volume of two moments, written as GRIB.
Bytes smallVolumeFile(const rdrtest::TempDir& dir) {
    rdrtest::VolumeShape shape = rdrtest::uniformVolume(2, 6, 9, {"DZ", "VR"});
    shape.value = [](int s, int r, int b, int f) {
        return static_cast<short>(s * 100 + r * 10 + b - f);
    };
    rdrtest::StdRadarPtr volume = rdrtest::buildVolume(shape);
    GribRadarPtr grib(fnStdSyncDownGribRadar(volume.get()));
    const std::string path = dir.file("small.grib2");
    EXPECT_EQ(fnWriteGribRadar(grib.get(), path.c_str()), 1);
    return readBytes(path);
}

std::vector<GribMessageSpan> messagesOf(const Bytes& bytes) {
    std::vector<GribMessageSpan> spans;
    std::string why;
    EXPECT_TRUE(splitGribMessages(bytes.data(), bytes.size(), &spans, &why)) << why;
    return spans;
}

Bytes concat(const Bytes& file, const std::vector<GribMessageSpan>& spans,
             std::initializer_list<int> order) {
    Bytes out;
    for (int k : order) {
        out.insert(out.end(), file.begin() + static_cast<long>(spans[k].offset),
                   file.begin() + static_cast<long>(spans[k].offset + spans[k].length));
    }
    return out;
}

// Loads through the registry; the result and what was said on stderr.
rdr::StdRadarPtr load(const std::string& path, std::string* pErr) {
    testing::internal::CaptureStderr();
    rdr::StdRadarPtr std(fnLoadStdRadarFile(path.c_str()));
    *pErr = testing::internal::GetCapturedStderr();
    return std;
}

TEST(GribVolumeRead, ForeignGribFilesAreRefusedSayingSo) {
    RDR_REQUIRE_SHARED_DATA();
    rdrtest::TempDir dir;
    const std::string gz = rdrtest::sharedData(
        "grib/MRMS_ReflectivityAtLowestAltitude_00.50_20230406-120039.grib2.gz");
    // Gunzipped, as any tool would hand it over, and as it is.
    gzFile in = gzopen(gz.c_str(), "rb");
    ASSERT_NE(in, nullptr);
    Bytes plain;
    unsigned char buf[65536];
    for (int n; (n = gzread(in, buf, sizeof buf)) > 0;) {
        plain.insert(plain.end(), buf, buf + n);
    }
    gzclose(in);
    writeBytes(dir.file("mrms.grib2"), plain);
    for (const std::string& path : {dir.file("mrms.grib2"), gz}) {
        SCOPED_TRACE(path);
        std::string why;
        EXPECT_STREQ(fnIdentifyVolumeFile(path.c_str(), &why), "GRIB");
        std::string err;
        EXPECT_FALSE(load(path, &err));
        EXPECT_NE(err.find("GRIB edition 2 from centre 161, not this system's radar messages"),
                  std::string::npos)
            << err;
    }

    // A GRIB 1 message and a product dataset of ours are named for what they are.
    Bytes ours = smallVolumeFile(dir);
    Bytes edition1 = ours;
    edition1[7] = 1;
    writeBytes(dir.file("edition1.grb"), edition1);
    std::string err;
    EXPECT_FALSE(load(dir.file("edition1.grb"), &err));
    EXPECT_NE(err.find("GRIB edition 1, not 2"), std::string::npos) << err;
    std::string why;
    const std::size_t section2 = 16 + 21;  // section 0, then section 1 of the sample
    ASSERT_EQ(gribMessageKind(ours.data(), ours.size(), &why), GribMessageKind::kRadarVolume);
    Bytes product = ours;
    product[section2 + 6] = GRIB_LOCAL_PRODUCT;
    EXPECT_EQ(gribMessageKind(product.data(), product.size(), &why),
              GribMessageKind::kRadarProduct);
    writeBytes(dir.file("product.grib2"), product);
    EXPECT_FALSE(load(dir.file("product.grib2"), &err));
    EXPECT_NE(err.find("a GRIB product dataset, not a radar volume"), std::string::npos) << err;
}

// Every cut of a file is refused with the reason; flipped bytes anywhere give a refusal or
// a whole volume, and the caller's process lives on in either case.
TEST(GribVolumeRead, CutAndDamagedCopiesAreRefusedNotCrashed) {
    rdrtest::TempDir dir;
    const Bytes file = smallVolumeFile(dir);
    const std::string path = dir.file("damaged.grib2");
    const std::size_t step = std::max<std::size_t>(1, file.size() / 40);
    for (std::size_t cut = 1; cut < file.size(); cut += step) {
        writeBytes(path, Bytes(file.begin(), file.begin() + static_cast<long>(cut)));
        std::string err;
        EXPECT_FALSE(load(path, &err)) << "cut at " << cut;
        EXPECT_FALSE(err.empty()) << "cut at " << cut;
    }
    const std::size_t flipStep = std::max<std::size_t>(1, file.size() / 60);
    for (std::size_t at = 0; at < file.size(); at += flipStep) {
        Bytes flipped = file;
        flipped[at] ^= 0xa5;
        writeBytes(path, flipped);
        std::string err;
        rdr::StdRadarPtr std = load(path, &err);
        if (std) {
            EXPECT_EQ(fnValidStdRadar(std.get()), 1) << "flip at " << at;
        } else {
            EXPECT_FALSE(err.empty()) << "flip at " << at;
        }
    }
}

TEST(GribVolumeRead, MessagesMissingRepeatedOrOutOfOrderAreRefused) {
    rdrtest::TempDir dir;
    const Bytes file = smallVolumeFile(dir);
    const std::vector<GribMessageSpan> spans = messagesOf(file);
    ASSERT_EQ(spans.size(), 2u);
    const struct {
        std::initializer_list<int> order;
        const char* said;
    } cases[] = {
        {{0}, "Invalid pVolume (2 moments, 1 messages)"},
        {{0, 1, 1}, "volume count error (3 messages, 2 moments)"},
        {{1, 0}, "message 1 holds moment 2: the messages are out of order"},
    };
    for (const auto& c : cases) {
        writeBytes(dir.file("v.grib2"), concat(file, spans, c.order));
        std::string err;
        EXPECT_FALSE(load(dir.file("v.grib2"), &err));
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
    }
    Bytes trailing = file;
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    writeBytes(dir.file("v.grib2"), trailing);
    std::string err;
    EXPECT_FALSE(load(dir.file("v.grib2"), &err));
    EXPECT_NE(err.find("4 bytes after message 2 are not a GRIB message"), std::string::npos) << err;
}

// A value the packing returns as 2549.9999 was the stored integer 2550; values beyond 16
// bits are held at the ends of the range instead of wrapping.
TEST(GribVolumeRead, DecodedValuesAreRoundedAndHeldWithinSixteenBits) {
    rdrtest::TempDir dir;
    const Bytes file = smallVolumeFile(dir);
    const std::vector<GribMessageSpan> spans = messagesOf(file);
    std::string why;
    ASSERT_NE(eccodesLibrary(&why), nullptr) << why;
    codes_handle* h =
        ec().handle_new_from_message_copy(nullptr, file.data() + spans[0].offset, spans[0].length);
    ASSERT_NE(h, nullptr);
    std::size_t n = 0;
    ASSERT_EQ(ec().get_size(h, "values", &n), 0);
    std::vector<double> values(n, 100.0);
    values[0] = 2549.9999;
    values[1] = -12.5001;
    values[2] = 40000;
    values[3] = -40000;
    ASSERT_EQ(ec().set_long(h, "bitsPerValue", 32), 0);
    ASSERT_EQ(ec().set_long(h, "decimalScaleFactor", 4), 0);
    ASSERT_EQ(ec().set_double_array(h, "values", values.data(), n), 0);
    std::vector<double> decoded(n);
    ASSERT_EQ(ec().get_double_array(h, "values", decoded.data(), &n), 0);
    ASSERT_LT(decoded[0], 2550.0);  // what a cut toward zero would make 2549
    const void* pMessage = nullptr;
    std::size_t nMessage = 0;
    ASSERT_EQ(ec().get_message(h, &pMessage, &nMessage), 0);
    Bytes rewritten(static_cast<const unsigned char*>(pMessage),
                    static_cast<const unsigned char*>(pMessage) + nMessage);
    ec().handle_delete(h);
    rewritten.insert(rewritten.end(), file.begin() + static_cast<long>(spans[1].offset),
                     file.end());
    writeBytes(dir.file("rounded.grib2"), rewritten);

    GribRadarPtr grib(fnLoadGribRadar(dir.file("rounded.grib2").data()));
    ASSERT_TRUE(grib);
    const short* data = grib->m_ppVolume[0]->m_pData;
    EXPECT_EQ(data[0], 2550);
    EXPECT_EQ(data[1], -13);
    EXPECT_EQ(data[2], 32767);
    EXPECT_EQ(data[3], -32768);
    EXPECT_EQ(data[4], 100);
}

// The sync-up checks what it indexes with: moment slots on a ray and bin counts within a
// moment's rows.
TEST(GribVolumeRead, InconsistentVolumesAreRefusedBySyncUp) {
    rdrtest::StdRadarPtr volume =
        rdrtest::buildVolume(rdrtest::uniformVolume(1, 4, 5, {"DZ", "VR"}));
    const struct {
        const char* said;
        void (*spoil)(GRIB_RADAR*);
    } cases[] = {
        {"has slot 0, taken", [](GRIB_RADAR* p) { p->m_ppVolume[1]->m_pFieldSlot[2] = 0; }},
        {"its moment slots leave a gap",
         [](GRIB_RADAR* p) { p->m_ppVolume[0]->m_pFieldSlot[1] = 255; }},
        {"has 6 bins, its rows 5", [](GRIB_RADAR* p) { p->m_ppVolume[0]->m_pBinNumber[3] = 6; }},
        {"the sweeps hold 3 rays, the volume 4", [](GRIB_RADAR* p) { p->m_hdr.m_pMaxRay[0] = 3; }},
    };
    for (const auto& c : cases) {
        GribRadarPtr grib(fnStdSyncDownGribRadar(volume.get()));
        ASSERT_TRUE(grib);
        c.spoil(grib.get());
        testing::internal::CaptureStderr();
        EXPECT_EQ(fnGribSyncUpStd(grib.get()), nullptr);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
    }
}

class VectorOutput : public IsolatedOutput {
  public:
    bool write(const void* p, std::size_t n) override {
        const auto* b = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return true;
    }
    Bytes bytes;
};

// The child's hand-over is read only whole: any shorter prefix is refused.
TEST(GribVolumeRead, HandOverFromTheChildIsCheckedBeforeUse) {
    rdrtest::StdRadarPtr volume = rdrtest::buildVolume(rdrtest::uniformVolume(2, 3, 4, {"DZ"}));
    GribRadarPtr grib(fnStdSyncDownGribRadar(volume.get()));
    VectorOutput out;
    ASSERT_TRUE(writeGribRadarBytes(grib.get(), out));
    std::string why;
    GribRadarPtr whole(readGribRadarBytes(out.bytes.data(), out.bytes.size(), &why));
    ASSERT_TRUE(whole) << why;
    EXPECT_EQ(std::memcmp(whole->m_ppVolume[0]->m_pData, grib->m_ppVolume[0]->m_pData,
                          sizeof(short) * 6 * 4),
              0);
    for (std::size_t n = 0; n < out.bytes.size(); n += 7) {
        EXPECT_EQ(readGribRadarBytes(out.bytes.data(), n, &why), nullptr) << n;
    }
    Bytes huge = out.bytes;
    GRIB_GLOBAL_HDR hdr{};
    std::memcpy(&hdr, huge.data() + 8, sizeof hdr);
    hdr.m_iMaxRay = 1 << 30;
    std::memcpy(huge.data() + 8, &hdr, sizeof hdr);
    EXPECT_EQ(readGribRadarBytes(huge.data(), huge.size(), &why), nullptr);
}

// The loading child decodes the values straight into the hand-over's memory: read back,
// the volume is the one decoded on its own, value for value.
TEST(GribVolumeRead, ValuesDecodedIntoTheHandOverAreTheVolumeDecodedAlone) {
    std::string why;
    ASSERT_NE(eccodesLibrary(&why), nullptr) << why;
    rdrtest::TempDir dir;
    const Bytes file = smallVolumeFile(dir);
    GribRadarPtr alone(decodeGribRadar(file.data(), file.size()));
    ASSERT_TRUE(alone);

    Bytes room;
    const GribHandOverRoom give = [&room](const GribHandOverLayout& layout) {
        room.assign(layout.nBytes, 0xa5);  // stale bytes, as a reused page might hold
        return room.data();
    };
    GribRadarPtr inPlace(decodeGribRadar(file.data(), file.size(), &give));
    ASSERT_TRUE(inPlace);
    class RoomOutput : public IsolatedOutput {
      public:
        explicit RoomOutput(Bytes* p) : room_(p) {}
        bool write(const void* p, std::size_t n) override {
            if (at_ + n > room_->size()) {
                return false;
            }
            if (p != room_->data() + at_) {
                std::memcpy(room_->data() + at_, p, n);
            }
            at_ += n;
            return true;
        }
        std::size_t at_ = 0;

      private:
        Bytes* room_;
    } out(&room);
    const bool bWritten = writeGribRadarBytes(inPlace.get(), out);
    for (int k = 0; k < inPlace->m_iMaxVolume; ++k) {
        inPlace->m_ppVolume[k]->m_pData = nullptr;  // the room's
    }
    ASSERT_TRUE(bWritten);
    EXPECT_EQ(out.at_, room.size());
    GribRadarPtr back(readGribRadarBytes(room.data(), room.size(), &why));
    ASSERT_TRUE(back) << why;
    ASSERT_EQ(back->m_iMaxVolume, 2);
    const std::size_t nRay = static_cast<std::size_t>(alone->m_hdr.m_iMaxRay);
    for (int k = 0; k < 2; ++k) {
        const std::size_t n = nRay * static_cast<std::size_t>(alone->m_ppVolume[k]->m_iMaxBin);
        EXPECT_EQ(std::memcmp(back->m_ppVolume[k]->m_pData, alone->m_ppVolume[k]->m_pData,
                              sizeof(short) * n),
                  0)
            << k;
    }
    EXPECT_EQ(
        std::memcmp(back->m_hdr.m_pRayAzimuth, alone->m_hdr.m_pRayAzimuth, sizeof(double) * nRay),
        0);
}

// Loads in a row reuse the hand-over's memory: a smaller volume after a larger one, and a
// larger after it, come back as they are, nothing of the one before left in them.
TEST(GribVolumeRead, LoadsInARowKeepNothingOfTheVolumeBefore) {
    std::string why;
    ASSERT_NE(eccodesLibrary(&why), nullptr) << why;
    rdrtest::TempDir dir;
    const auto write = [&dir](int rays, int bins, int seed) {
        rdrtest::VolumeShape shape = rdrtest::uniformVolume(2, rays, bins, {"DZ", "VR"});
        shape.value = [seed](int s, int r, int b, int f) {
            return static_cast<short>(seed + s * 1000 + r * 7 + b - f);
        };
        rdrtest::StdRadarPtr volume = rdrtest::buildVolume(shape);
        GribRadarPtr grib(fnStdSyncDownGribRadar(volume.get()));
        const std::string path = dir.file(std::to_string(seed) + ".grib2");
        EXPECT_EQ(fnWriteGribRadar(grib.get(), path.c_str()), 1);
        return path;
    };
    const std::string large = write(90, 200, 1);
    const std::string small = write(10, 30, 2);
    for (const std::string& path : {large, small, small, large}) {
        const Bytes file = readBytes(path);
        GribRadarPtr alone(decodeGribRadar(file.data(), file.size()));
        GribRadarPtr loaded(fnLoadGribRadar(const_cast<char*>(path.c_str())));
        ASSERT_TRUE(alone && loaded) << path;
        const std::size_t nRay = static_cast<std::size_t>(alone->m_hdr.m_iMaxRay);
        ASSERT_EQ(loaded->m_hdr.m_iMaxRay, alone->m_hdr.m_iMaxRay);
        for (int k = 0; k < 2; ++k) {
            const std::size_t n = nRay * static_cast<std::size_t>(alone->m_ppVolume[k]->m_iMaxBin);
            ASSERT_EQ(loaded->m_ppVolume[k]->m_iMaxBin, alone->m_ppVolume[k]->m_iMaxBin);
            EXPECT_EQ(std::memcmp(loaded->m_ppVolume[k]->m_pData, alone->m_ppVolume[k]->m_pData,
                                  sizeof(short) * n),
                      0)
                << path << " moment " << k;
        }
    }
}

}  // namespace
