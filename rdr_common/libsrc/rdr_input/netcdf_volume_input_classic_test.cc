// The classic header check in front of nc_open: real classic files of every version pass
// and load; headers whose counts or sizes the file cannot back are refused with the reason
// before libnetcdf sizes anything from them.
#include "internal/netcdf_volume_input_classic.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "nc_radar.h"
#include "standard_volume.h"
#include "test_support.h"

namespace {

constexpr int kRays = 6;
constexpr int kBins = 4;

// A two-sweep CF/Radial volume in a classic format; time is the record dimension when
// asked. DBZ is packed: stored (ray * 10 + bin) x 0.5 dBZ.
void writeClassicVolume(const std::string& path, int format, bool recordTime) {
    int ncid = -1;
    ASSERT_EQ(nc_create(path.c_str(), NC_CLOBBER | format, &ncid), NC_NOERR);
    int time = -1;
    int range = -1;
    int sweep = -1;
    ASSERT_EQ(nc_def_dim(ncid, "time", recordTime ? NC_UNLIMITED : kRays, &time), NC_NOERR);
    ASSERT_EQ(nc_def_dim(ncid, "range", kBins, &range), NC_NOERR);
    ASSERT_EQ(nc_def_dim(ncid, "sweep", 2, &sweep), NC_NOERR);
    const std::string conventions = "CF/Radial";
    const float extra[3] = {1.5f, 2.5f, 3.5f};
    ASSERT_EQ(
        nc_put_att_text(ncid, NC_GLOBAL, "Conventions", conventions.size(), conventions.c_str()),
        NC_NOERR);
    ASSERT_EQ(nc_put_att_float(ncid, NC_GLOBAL, "extra", NC_FLOAT, 3, extra), NC_NOERR);
    if (format == NC_64BIT_DATA) {
        const unsigned short wide[2] = {65535, 7};
        ASSERT_EQ(nc_put_att_ushort(ncid, NC_GLOBAL, "wide", NC_USHORT, 2, wide), NC_NOERR);
    }
    const auto def = [&](const char* name, nc_type type, std::vector<int> dims) {
        int varid = -1;
        EXPECT_EQ(nc_def_var(ncid, name, type, static_cast<int>(dims.size()), dims.data(), &varid),
                  NC_NOERR);
        return varid;
    };
    const int vTime = def("time", NC_DOUBLE, {time});
    const int vRange = def("range", NC_FLOAT, {range});
    const int vAz = def("azimuth", NC_FLOAT, {time});
    const int vEl = def("elevation", NC_FLOAT, {time});
    const int vFixed = def("fixed_angle", NC_FLOAT, {sweep});
    const int vStart = def("sweep_start_ray_index", NC_INT, {sweep});
    const int vEnd = def("sweep_end_ray_index", NC_INT, {sweep});
    const int vDbz = def("DBZ", NC_SHORT, {time, range});
    const float scale = 0.5f;
    ASSERT_EQ(nc_put_att_float(ncid, vDbz, "scale_factor", NC_FLOAT, 1, &scale), NC_NOERR);
    ASSERT_EQ(nc_enddef(ncid), NC_NOERR);

    double times[kRays];
    float azimuth[kRays];
    float elevation[kRays];
    short dbz[kRays * kBins];
    for (int r = 0; r < kRays; r++) {
        times[r] = r;
        azimuth[r] = 10.0f * r;
        elevation[r] = r < 3 ? 0.5f : 1.5f;
        for (int b = 0; b < kBins; b++) {
            dbz[r * kBins + b] = static_cast<short>(r * 10 + b);
        }
    }
    const float ranges[kBins] = {125, 375, 625, 875};
    const float fixed[2] = {0.5f, 1.5f};
    const int start[2] = {0, 3};
    const int end[2] = {2, 5};
    const size_t origin[2] = {0, 0};
    const size_t rays[1] = {kRays};
    const size_t cells[2] = {kRays, kBins};
    ASSERT_EQ(nc_put_vara_double(ncid, vTime, origin, rays, times), NC_NOERR);
    ASSERT_EQ(nc_put_var_float(ncid, vRange, ranges), NC_NOERR);
    ASSERT_EQ(nc_put_vara_float(ncid, vAz, origin, rays, azimuth), NC_NOERR);
    ASSERT_EQ(nc_put_vara_float(ncid, vEl, origin, rays, elevation), NC_NOERR);
    ASSERT_EQ(nc_put_var_float(ncid, vFixed, fixed), NC_NOERR);
    ASSERT_EQ(nc_put_var_int(ncid, vStart, start), NC_NOERR);
    ASSERT_EQ(nc_put_var_int(ncid, vEnd, end), NC_NOERR);
    ASSERT_EQ(nc_put_vara_short(ncid, vDbz, origin, cells, dbz), NC_NOERR);
    ASSERT_EQ(nc_close(ncid), NC_NOERR);
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The check on a file's bytes; the reason, or "" when the header is accepted.
std::string refusal(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0);
    const auto size = static_cast<std::uint64_t>(std::filesystem::file_size(path));
    std::string why;
    const bool ok = checkNcClassicHeader(fd, size, &why);
    ::close(fd);
    return ok ? "" : why;
}

std::string loadMessage(const std::string& path) {
    ::testing::internal::CaptureStderr();
    NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(pNc, nullptr) << path;
    fnFreeNcRadar(pNc);
    return err;
}

// Builds a classic header byte by byte (big-endian, CDF-1 unless told otherwise).
class Header {
  public:
    explicit Header(int version = 1) : version_(version) {
        bytes_ = {'C', 'D', 'F', static_cast<unsigned char>(version)};
    }
    Header& u32(std::uint64_t v) { return be(v, 4); }
    Header& count(std::uint64_t v) { return be(v, version_ == 5 ? 8 : 4); }
    Header& offset(std::uint64_t v) { return be(v, version_ == 1 ? 4 : 8); }
    Header& name(const std::string& text) {
        count(text.size());
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.resize((bytes_.size() + 3) & ~std::size_t{3}, 0);
        return *this;
    }
    Header& absent() { return u32(0).count(0); }
    Header& pad(std::size_t n) {
        bytes_.resize(bytes_.size() + n, 0);
        return *this;
    }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

  private:
    Header& be(std::uint64_t v, int n) {
        for (int i = n - 1; i >= 0; i--) {
            bytes_.push_back(static_cast<unsigned char>(v >> (8 * i)));
        }
        return *this;
    }
    int version_;
    std::vector<unsigned char> bytes_;
};

class NcClassicTest : public ::testing::Test {
  protected:
    std::string write(const Header& header) {
        const std::string path = dir_.file("crafted.nc");
        writeBytes(path, header.bytes());
        return path;
    }
    rdrtest::TempDir dir_;
};

TEST_F(NcClassicTest, ClassicFilesOfEveryVersionPassAndLoad) {
    for (int format : {0, NC_64BIT_OFFSET, NC_64BIT_DATA}) {
        for (bool recordTime : {false, true}) {
            const std::string path = dir_.file("classic.nc");
            writeClassicVolume(path, format, recordTime);
            EXPECT_EQ(refusal(path), "") << format << " " << recordTime;
            NC_RADAR* pNc = fnLoadNcRadar(path.c_str());
            ASSERT_NE(pNc, nullptr) << format << " " << recordTime;
            STD_RADAR* pStd = fnNcSyncUpStd(pNc);
            fnFreeNcRadar(pNc);
            ASSERT_NE(pStd, nullptr);
            ASSERT_EQ(pStd->m_iMaxSweep, 2);
            STD_RAY* pRay = pStd->m_ppSweep[1]->m_ppRay[2];  // ray 5
            const int field = fnGetFieldIdxRay(pRay, "DZ");
            ASSERT_GE(field, 0);
            EXPECT_EQ(pRay->m_ppField[field]->m_pData[3], (5 * 10 + 3) * 50);  // x 0.5 x 100
            EXPECT_FLOAT_EQ(pRay->m_hdr.m_fAzimuth, 50.0f);
            fnFreeStdRadar(pStd);
        }
    }
}

TEST_F(NcClassicTest, EveryTruncationOfAClassicFileIsRefused) {
    // With time as the record dimension the last bytes are the last record; cutting the
    // file anywhere leaves a count, a name or some variable's data without its bytes.
    const std::string whole = dir_.file("whole.nc");
    writeClassicVolume(whole, NC_64BIT_OFFSET, true);
    const std::vector<unsigned char> bytes = readBytes(whole);
    ASSERT_GT(bytes.size(), 200u);
    const std::string cut = dir_.file("cut.nc");
    for (std::size_t n = 4; n < bytes.size(); n++) {
        writeBytes(cut, std::vector<unsigned char>(bytes.begin(), bytes.begin() + n));
        EXPECT_NE(refusal(cut), "") << n << " of " << bytes.size() << " bytes";
    }
}

TEST_F(NcClassicTest, HeadersTheFileCannotBackAreRefusedWithTheReason) {
    struct Case {
        const char* what;
        Header header;
        const char* reason;
    };
    const std::uint64_t big = 0x7fffff00;
    const Case cases[] = {
        // The 13-byte file that made libnetcdf ask for 2.6 GB.
        {"13 bytes", Header().u32(0).u32(0x0A).pad(1), "the header ends inside the dimension list"},
        {"dimension count", Header().u32(0).u32(0x0A).u32(big).pad(8),
         "it declares 2147483392 dimensions in 8 remaining bytes"},
        {"record count", Header().u32(big).absent().absent().absent(),
         "it declares 2147483392 records, more than a file of 32 bytes holds"},
        {"dimension length",
         Header().u32(0).u32(0x0A).u32(1).name("time").u32(big).absent().absent(),
         "dimension \"time\" has length 2147483392, more than the file's 44 bytes"},
        {"name length", Header().u32(0).u32(0x0A).u32(1).u32(big).pad(12),
         "the name of a dimension (2147483392 bytes) runs past the end of the file"},
        {"attribute values",
         Header().u32(0).absent().u32(0x0C).u32(1).name("history").u32(2).u32(big).pad(4).absent(),
         "attribute \"history\" of the file declares 2147483392 values, more than the file holds"},
        {"attribute type",
         Header().u32(0).absent().u32(0x0C).u32(1).name("x").u32(7).u32(1).pad(4).absent(),
         "attribute \"x\" of the file has unknown type 7"},
        {"name shown safely",
         Header().u32(0).u32(0x0A).u32(1).name("t\x1b[2J\xff").u32(big).absent().absent(),
         "dimension \"t?[2J?\" has length 2147483392, more than the file's 48 bytes"},
        {"name longer than netCDF allows",
         Header().u32(0).u32(0x0A).u32(1).name(std::string(300, 'a')).u32(1).absent().absent(),
         "the name of a dimension (300 bytes) is longer than netCDF allows (256)"},
        {"list tag", Header().u32(0).u32(0x0B).u32(1).absent().absent(),
         "the dimension list has the wrong tag"},
        {"dimension id",
         Header()
             .u32(0)
             .u32(0x0A)
             .u32(1)
             .name("range")
             .u32(4)
             .absent()
             .u32(0x0B)
             .u32(1)
             .name("DBZ")
             .u32(1)
             .u32(3)
             .absent()
             .u32(3)
             .u32(8)
             .u32(100),
         "variable \"DBZ\" uses dimension 3 of a file that has 1"},
        {"data past the end",
         Header()
             .u32(0)
             .u32(0x0A)
             .u32(1)
             .name("range")
             .u32(4)
             .absent()
             .u32(0x0B)
             .u32(1)
             .name("DBZ")
             .u32(1)
             .u32(0)
             .absent()
             .u32(6)
             .u32(32)
             .u32(60),
         "variable \"DBZ\" needs 32 bytes from offset 60, but the file has 84"},
        {"records past the end",
         Header()
             .u32(3)
             .u32(0x0A)
             .u32(2)
             .name("time")
             .u32(0)
             .name("range")
             .u32(4)
             .absent()
             .u32(0x0B)
             .u32(1)
             .name("DBZ")
             .u32(2)
             .u32(0)
             .u32(1)
             .absent()
             .u32(3)
             .u32(8)
             .u32(100)
             .pad(20),
         "variable \"DBZ\" needs 24 bytes from offset 100, but the file has 120"},
        {"record dimension not first",
         Header()
             .u32(1)
             .u32(0x0A)
             .u32(2)
             .name("time")
             .u32(0)
             .name("range")
             .u32(4)
             .absent()
             .u32(0x0B)
             .u32(1)
             .name("DBZ")
             .u32(2)
             .u32(1)
             .u32(0)
             .absent()
             .u32(3)
             .u32(8)
             .u32(84),
         "variable \"DBZ\" has the record dimension in place 2"},
        {"size overflow",
         Header(5)
             .count(0)
             .u32(0x0A)
             .count(1)
             .name("n")
             .count(100)
             .absent()
             .u32(0x0B)
             .count(1)
             .name("v")
             .count(10)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .count(0)
             .absent()
             .u32(6)
             .count(8)
             .offset(200),
         "variable \"v\" is larger than any file"},
        {"CDF-1 has no unsigned types",
         Header()
             .u32(0)
             .absent()
             .absent()
             .u32(0x0B)
             .u32(1)
             .name("v")
             .u32(0)
             .absent()
             .u32(8)
             .u32(2)
             .u32(44),
         "variable \"v\" has unknown type 8"},
    };
    for (const Case& c : cases) {
        const std::string path = write(c.header);
        EXPECT_EQ(refusal(path), c.reason) << c.what;
        EXPECT_EQ(loadMessage(path),
                  std::string("fnLoadNcRadar : classic header refused: ") + c.reason + "\n")
            << c.what;
    }
}

TEST_F(NcClassicTest, FileNamesAreNeverTakenForUrls) {
    // "https://host/x" relative to the working directory is the local file https:/host/x;
    // libnetcdf would fetch it from the network instead.
    std::filesystem::create_directories(dir_.path() / "https:" / "host");
    writeClassicVolume((dir_.path() / "https:" / "host" / "x").string(), 0, false);
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    NC_RADAR* pNc = fnLoadNcRadar("https://host/x");
    std::filesystem::current_path(cwd);
    EXPECT_NE(pNc, nullptr);
    fnFreeNcRadar(pNc);
}

}  // namespace
