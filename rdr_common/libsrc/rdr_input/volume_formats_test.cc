// The registry names every sample file's format from its content, refuses what no reader
// can use with a reason, and loads through the reader it names.
#include "volume_formats.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "owned_handles.h"
#include "test_support.h"
#include "uf_bytes.h"

namespace {

std::string identify(const std::string& path, std::string* pWhy = nullptr) {
    std::string why;
    const char* name = fnIdentifyVolumeFile(path.c_str(), &why);
    if (pWhy != nullptr) {
        *pWhy = why;
    }
    return name != nullptr ? name : "";
}

std::vector<std::string> samplesIn(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(rdrtest::sharedData(folder))) {
        if (entry.is_regular_file()) {
            files.push_back(entry.path().string());
        }
    }
    return files;
}

TEST(VolumeFormats, NamesEverySampleFileByContent) {
    RDR_REQUIRE_SHARED_DATA();
    const std::pair<const char*, const char*> kFolders[] = {
        {"uf", "UF"},     {"cfradial", "CF/Radial"}, {"odim_hdf5", "ODIM HDF5"},
        {"bufr", "BUFR"}, {"grib", "GRIB"},
    };
    for (const auto& [folder, format] : kFolders) {
        for (const std::string& file : samplesIn(folder)) {
            std::string why;
            EXPECT_EQ(identify(file, &why), format) << file << ": " << why;
        }
    }
}

TEST(VolumeFormats, NamesUfInEveryFramingPlainOrGzip) {
    rdrtest::TempDir dir;
    const auto records = ufbytes::writeRecords(ufbytes::smallVolume(2, 8, 20));
    for (ufbytes::Framing framing : ufbytes::kFramings) {
        for (bool gzip : {false, true}) {
            std::string name = std::to_string(static_cast<int>(framing));
            name += gzip ? ".uf.gz" : ".uf";
            const std::string file = dir.file(name);
            ufbytes::writeBytes(file, ufbytes::frameRecords(records, framing), gzip);
            EXPECT_EQ(identify(file), "UF") << ufbytes::framingName(framing) << " gzip " << gzip;
            const char* format = nullptr;
            rdr::StdRadarPtr loaded(fnLoadStdRadarFile(file.c_str(), &format));
            EXPECT_TRUE(loaded) << ufbytes::framingName(framing) << " gzip " << gzip;
            EXPECT_STREQ(format, "UF");
        }
    }
}

TEST(VolumeFormats, NamesClassicNetcdfAsCfRadial) {
    rdrtest::TempDir dir;
    const std::string file = dir.file("classic.nc");
    int id = -1, dim = -1;
    ASSERT_EQ(nc_create(file.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &id), NC_NOERR);
    ASSERT_EQ(nc_def_dim(id, "time", 4, &dim), NC_NOERR);
    ASSERT_EQ(nc_close(id), NC_NOERR);
    EXPECT_EQ(identify(file), "CF/Radial");
}

TEST(VolumeFormats, RefusesWhatNoReaderUsesWithAReason) {
    rdrtest::TempDir dir;
    auto write = [&dir](const std::string& name, const std::string& bytes) {
        std::ofstream(dir.file(name), std::ios::binary) << bytes;
        return dir.file(name);
    };
    std::string why;
    EXPECT_EQ(identify(write("notes.txt", "radar volumes are not text files\n"), &why), "");
    EXPECT_NE(why.find("not a radar volume"), std::string::npos) << why;
    EXPECT_EQ(identify(write("empty", ""), &why), "");
    EXPECT_NE(why.find("empty"), std::string::npos) << why;
    EXPECT_EQ(identify(dir.path().string(), &why), "");
    EXPECT_NE(why.find("directory"), std::string::npos) << why;
    EXPECT_EQ(identify(dir.file("absent"), &why), "");
    EXPECT_NE(why.find("cannot open"), std::string::npos) << why;
    // A gzip header and the first bytes of a deflate stream, cut off.
    EXPECT_EQ(
        identify(write("cut.gz", std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\x0b", 11)),
                 &why),
        "");
    EXPECT_NE(why.find("gzip"), std::string::npos) << why;
    EXPECT_EQ(
        identify(write("hdf5", std::string("\x89HDF\r\n\x1a\n", 8) + std::string(600, 'x')), &why),
        "");
    EXPECT_NE(why.find("HDF5"), std::string::npos) << why;
}

TEST(VolumeFormats, RecognisedButNotYetReadableFormatsSaySo) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string file = rdrtest::sharedData("bufr/example_odim_200906101315.bfr");
    const char* format = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadStdRadarFile(file.c_str(), &format), nullptr);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(format, "BUFR");
    EXPECT_NE(message.find("not supported yet"), std::string::npos) << message;
}

// Files that once crashed libhdf5 or sent it into an endless loop (the loader's own tests
// load them): the registry's look at their Conventions must not take the process down.
TEST(VolumeFormats, SurvivesFilesThatBreakTheHdf5Library) {
    const std::string kept = std::string(RDR_SOURCE_DIR) + "/fuzz/corpus/netcdf_reader_fuzz/";
    for (const char* name : {"hdf5-bad-free-in-dense-iterate", "hdf5-endless-loop"}) {
        const std::string file = kept + name;
        ASSERT_TRUE(std::filesystem::exists(file)) << file;
        std::string why;
        const char* format = fnIdentifyVolumeFile(file.c_str(), &why);
        EXPECT_TRUE(format != nullptr || !why.empty()) << name;
    }
}

}  // namespace
