// The registry names every sample file's format from its content, refuses what no reader
// can use with a reason, and loads through the reader it names.
#include "volume_formats.h"

#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cstring>
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

// A BUFR file that holds a product, not a volume, is refused by the BUFR reader in words.
TEST(VolumeFormats, BufrProductIsRefusedByTheVolumeReader) {
    RDR_REQUIRE_SHARED_DATA();
    const std::string file = rdrtest::sharedData("bufr/odim-compo-ref.bfr");
    const char* format = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnLoadStdRadarFile(file.c_str(), &format), nullptr);
    const std::string message = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(format, "BUFR");
    EXPECT_NE(message.find("fnLoadBufrRadar : "), std::string::npos) << message;
    EXPECT_NE(message.find("no polar volume"), std::string::npos) << message;
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

// ---- loading only some moments -------------------------------------------------------

namespace moments {

bool sameHeaders(const STD_RADAR* a, const STD_RADAR* b) {
    return std::memcmp(&a->m_hdr, &b->m_hdr, sizeof(a->m_hdr)) == 0;
}

// "" when every ray of part holds the whole volume's first moment and the asked ones it
// has, in the file's order, with the same headers and bins; otherwise the first mismatch.
std::string partDiffers(const STD_RADAR* whole, const STD_RADAR* part,
                        const std::vector<std::string>& asked) {
    if (!sameHeaders(whole, part) || whole->m_iMaxSweep != part->m_iMaxSweep) {
        return "volume header or sweep count";
    }
    for (int s = 0; s < whole->m_iMaxSweep; ++s) {
        const STD_SWEEP* ws = whole->m_ppSweep[s];
        const STD_SWEEP* ps = part->m_ppSweep[s];
        if (std::memcmp(&ws->m_hdr, &ps->m_hdr, sizeof(ws->m_hdr)) != 0 ||
            ws->m_iMaxRay != ps->m_iMaxRay) {
            return "sweep " + std::to_string(s) + " header or ray count";
        }
        for (int r = 0; r < ws->m_iMaxRay; ++r) {
            const STD_RAY* wr = ws->m_ppRay[r];
            const STD_RAY* pr = ps->m_ppRay[r];
            const std::string where = "sweep " + std::to_string(s) + " ray " + std::to_string(r);
            if (std::memcmp(&wr->m_hdr, &pr->m_hdr, sizeof(wr->m_hdr)) != 0) {
                return where + " header";
            }
            int p = 0;
            for (int f = 0; f < wr->m_iMaxField; ++f) {
                const STD_FIELD* wf = wr->m_ppField[f];
                const std::string name = wf->m_hdr.m_szFieldName;
                if (f > 0 && std::find(asked.begin(), asked.end(), name) == asked.end()) {
                    continue;
                }
                if (p >= pr->m_iMaxField) {
                    return where + " lacks " + name;
                }
                const STD_FIELD* pf = pr->m_ppField[p++];
                if (std::memcmp(&wf->m_hdr, &pf->m_hdr, sizeof(wf->m_hdr)) != 0 ||
                    wf->m_iMaxBin != pf->m_iMaxBin ||
                    std::memcmp(wf->m_pData, pf->m_pData, sizeof(short) * wf->m_iMaxBin) != 0) {
                    return where + " " + name + " header or bins";
                }
            }
            if (p != pr->m_iMaxField) {
                return where + " holds moments not asked for";
            }
        }
    }
    return "";
}

}  // namespace moments

TEST(VolumeFormats, AskedMomentsLoadWithTheBinsAndHeadersOfTheWholeVolume) {
    RDR_REQUIRE_SHARED_DATA();
    const struct {
        const char* file;
        std::vector<std::vector<std::string>> asks;
    } cases[] = {
        // KLIX gates VR and SW at 250 m beside DZ at 1000 m.
        {"uf/KLIX20050828_180149_rsl.uf.gz", {{"VR"}, {"SW", "DZ"}, {}, {"CZ", "XX"}}},
        {"uf/mc3e_npol_20110427_114155.uf", {{"DZ", "CZ"}, {"SD"}, {"ZT"}}},
    };
    for (const auto& c : cases) {
        const std::string path = rdrtest::sharedData(c.file);
        rdr::StdRadarPtr whole(fnLoadStdRadarFile(path.c_str()));
        ASSERT_NE(whole, nullptr) << c.file;
        for (const std::vector<std::string>& asked : c.asks) {
            SCOPED_TRACE(std::string(c.file) + " asked " + std::to_string(asked.size()));
            VolumeLoadNotes notes;
            rdr::StdRadarPtr part(fnLoadStdRadarFile(path.c_str(), nullptr, &notes, &asked));
            ASSERT_NE(part, nullptr);
            EXPECT_EQ(moments::partDiffers(whole.get(), part.get(), asked), "");
            // The range products default to is read from each ray's first moment.
            EXPECT_EQ(fnGetMaxRangeStd(part.get()), fnGetMaxRangeStd(whole.get()));
            EXPECT_EQ(fnValidStdRadar(part.get()), 1);
        }
    }
}
